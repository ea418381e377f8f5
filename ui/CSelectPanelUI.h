#pragma once

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTransform>
#include <QWidget>

namespace ui {

class CDeviceKeyButtonUI;

// The panel that holds the key buttons of a device picture. Dragging over it with the left
// button, from a gap or from a key, draws a selection rectangle; on release every
// CDeviceKeyButtonUI inside the panel is selected exactly when its rectangle meets the
// selection, and the panel sends "click_select_end". A press and release on the bare panel thus clears the selection.
//
// A panel whose keys animate many times a second can paint them together: one opaque widget,
// stacked over the keys and spanning their bounding rectangle, draws the picture beneath them
// and every key (through CDeviceKeyButtonUI::PaintKey) in one paint event, and the keys send
// their light changes to it. A frame then costs one paint event over the union of the keys that
// changed instead of one per key plus the repaint of everything under each transparent key.
// The picture must be opaque under the keys' bounding rectangle, since the widget claims to be.
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

    // Turns the painting of all key buttons in one pass on or off; off by default.
    void SetKeysPaintedTogether(bool on);
    bool KeysPaintedTogether() const { return m_keyLayer != nullptr; }
    // The widget that paints the keys together, or null.
    QWidget* KeyLayer() const;

    // The skin gives the picture's size and each key's rectangle at a scale of one; at another
    // scale (the window's DPI) every key is placed through one transform from its skin
    // rectangle, so that keys, LED markers and the key layer stay on the picture, which the
    // style sheet stretches over the whole panel. Keys added later are placed the same way.
    void SetSkinScale(qreal factor);
    const QTransform& SkinTransform() const { return m_skin; }
    // The rectangle a key's skin rectangle maps to: edges are rounded, not sizes, so that keys
    // that touch in the skin still touch.
    QRect MapFromSkin(const QRect& skinRect) const;

signals:
    // Emitted with the notification, for code that holds the panel without a window.
    void selectionFinished(const QRect& selection);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class KeyPainter;

    void updateBand();
    // Ends the drag at `end` (panel coordinates): selects the keys the rectangle meets.
    void finishSelection(QPoint end);
    // The mouse events of a key button, for a drag that starts on the key.
    bool filterKeyMouse(CDeviceKeyButtonUI* key, QMouseEvent* event);
    // Fits the key layer to the keys shown, hands it to every key and stacks it over them.
    void placeKeyLayer();
    // Places a key at its skin rectangle through the transform (remembering that rectangle
    // the first time the key is seen).
    void placeKey(QWidget* key);
    // The panel's own background (its style-sheet picture), drawn once per size and style.
    const QPixmap& keysBackdrop();

    QWidget* m_band = nullptr;  // drawn above the key buttons, transparent to the mouse
    KeyPainter* m_keyLayer = nullptr;
    QPixmap m_backdrop;
    QTransform m_skin;
    bool m_pressed = false;
    QPointer<QWidget> m_keyPress;  // the key the left button went down on, if any
    QPoint m_start;
    QPoint m_current;
    QRect m_selection;
};

}  // namespace ui
