#pragma once

#include <QColor>
#include <QFrame>

namespace ui {

// What the two list-row controls share: a row of a list that a click selects (Ctrl toggles)
// and that notifies its window by type ("itemclick", "itemactivate", "return", "menu").
// "menu" for a named row already comes from the window's wiring; a row without a name sends it
// itself, so a row is never reported twice.
class CListRowUI : public QFrame {
    Q_OBJECT
    Q_PROPERTY(bool selected READ IsSelected WRITE SetSelected)
public:
    explicit CListRowUI(QWidget* parent = nullptr);

    bool IsSelected() const { return m_selected; }
    void SetSelected(bool on);

signals:
    void selectedChanged(bool selected);

protected:
    void Send(const char* type, intptr_t wParam = 0, intptr_t lParam = 0);
    // The row's index among its parent's rows of the same class (wParam of its notifications).
    int RowIndex() const;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool m_selected = false;
};

}  // namespace ui
