#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

namespace ui {

// The panel that holds the key buttons of a device picture. Dragging over it with the left
// button draws a selection rectangle; on release every CDeviceKeyButtonUI inside the panel is
// selected exactly when its rectangle meets the selection, and the panel sends
// "click_select_end". A press and release on the bare panel thus clears the selection.
class CSelectPanelUI : public QWidget {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "SelectPanel";
    static constexpr char kNotifySelectEnd[] = "click_select_end";

    explicit CSelectPanelUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    bool IsDragging() const { return m_pressed; }
    // The rectangle of the drag in progress or the last one, in panel coordinates.
    QRect SelectionRect() const { return m_selection; }

signals:
    // Emitted with the notification, for code that holds the panel without a window.
    void selectionFinished(const QRect& selection);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateBand();

    QWidget* m_band = nullptr;  // drawn above the key buttons, transparent to the mouse
    bool m_pressed = false;
    QPoint m_start;
    QPoint m_current;
    QRect m_selection;
};

}  // namespace ui
