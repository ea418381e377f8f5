#pragma once

#include <QPixmap>
#include <QPushButton>

namespace ui {

// A picture button with a small delete mark in its lower right corner. The hand image is drawn
// over the button, clipped to it. While the mouse is over the button and deleting is allowed
// (the no-delete flag is off), the mark is drawn with its hot image when the mouse is on the
// mark and its normal image otherwise; releasing the left button on the mark sends
// "click_handdelete" instead of a click. "msenter" and "msleave" come from the window's wiring
// of the named button, as for every control.
class CHandImgButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString handimage READ HandImage WRITE SetHandImage)
    Q_PROPERTY(QString deletenormalimage READ DeleteNormalImage WRITE SetDeleteNormalImage)
    Q_PROPERTY(QString deletehotimage READ DeleteHotImage WRITE SetDeleteHotImage)
    Q_PROPERTY(bool nodelete READ NoDelete WRITE SetNoDelete)
public:
    static constexpr char kClassName[] = "HandImgButton";
    static constexpr char kNotifyHandDelete[] = "click_handdelete";
    // The mark at scale one: 20 x 20, its left edge 30 and its top edge 29 from the button's
    // right and bottom edges.
    static constexpr int kMarkSize = 20;
    static constexpr int kMarkFromRight = 30;
    static constexpr int kMarkFromBottom = 29;

    explicit CHandImgButtonUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CHandImgButtonUI* GetInterface(const QString& name);

    // The mark's rectangle in a button of `size` at `scale` (the window's DPI / 96).
    static QRect DeleteMarkRect(QSize size, qreal scale);
    QRect DeleteMarkRect() const;
    // The image the mark is drawn with now: empty while it is not shown.
    QString DeleteImageInUse() const;

    QString HandImage() const { return m_hand; }
    void SetHandImage(const QString& path);
    QString DeleteNormalImage() const { return m_deleteNormal; }
    void SetDeleteNormalImage(const QString& path);
    QString DeleteHotImage() const { return m_deleteHot; }
    void SetDeleteHotImage(const QString& path);
    // On by default: the mark is neither drawn nor takes a click.
    bool NoDelete() const { return m_noDelete; }
    void SetNoDelete(bool on);

signals:
    // Emitted with "click_handdelete", for code that holds the button without a window.
    void handDeleteClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    qreal Scale() const;

    QString m_hand, m_deleteNormal, m_deleteHot;
    QPixmap m_handPixmap;
    bool m_noDelete = true;
    bool m_hover = false;
    bool m_onMark = false;
};

}  // namespace ui
