#pragma once

#include "ui/CListRowUI.h"

namespace ui {

// A row of a shared-profile list: a double click or Enter sends "itemactivate", the context
// menu "menu"; while the mouse is over it a 1-pixel frame in "hotbordercolor" (the list's
// highlight colour unless the style sheet sets it) is drawn around it.
class CCloudShareListItemUI : public CListRowUI {
    Q_OBJECT
    Q_PROPERTY(QColor hotbordercolor READ HotBorderColor WRITE SetHotBorderColor)
public:
    static constexpr char kClassName[] = "CloudShareListItemUI";

    explicit CCloudShareListItemUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CCloudShareListItemUI* GetInterface(const QString& name);

    QColor HotBorderColor() const;
    void SetHotBorderColor(const QColor& c);
    bool IsHot() const { return m_hot; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor m_border;
    bool m_hot = false;
};

}  // namespace ui
