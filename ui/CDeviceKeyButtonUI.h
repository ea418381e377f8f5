#pragma once

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <cstdint>
#include <utility>
#include <vector>

class QPainter;

namespace ui {

// A widget that paints many keys of a device picture in one pass, stacked over them (see
// CDeviceKeyButtonUI::SetSharedPainter).
class CKeyPainter : public QWidget {
public:
    using QWidget::QWidget;
    // The key at keyGeometry (in the coordinates of the keys' parent) changed its look; the
    // painter repaints it with the other keys changed in the same pass of the event loop.
    virtual void RepaintKey(const QRect& keyGeometry) = 0;
};

// A key or LED of a device picture. Besides being a button it carries the LED's last colour
// and brightness (drawn over the button as a glow, or tinting "lightimage" when the skin gives
// one) while its light flag is on, an optional key-set mark ("keysetimage", drawn while the
// key-set-hidden flag is off) and a selected flag that the selection panel sets.
// A double click reaches the window as "dbclick" through the window's own wiring of named
// controls, so the button adds nothing of its own for it.
class CDeviceKeyButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString lightimage READ LightImage WRITE SetLightImage)
    Q_PROPERTY(QString keysetimage READ KeySetImage WRITE SetKeySetImage)
    Q_PROPERTY(QString gmnametextcolor READ GameNameTextColorText WRITE SetGameNameTextColor)
    Q_PROPERTY(bool selected READ IsSelected WRITE SetSelected NOTIFY selectedChanged)
public:
    static constexpr char kClassName[] = "DeviceKeyButton";
    // Property holding the function a key is given (a text id or ready text), for the name a
    // screen reader reads ("A, assigned: Mute"); without it the shown legend is the function.
    static constexpr char kAssignmentProperty[] = "keyassignment";

    explicit CDeviceKeyButtonUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }

    // Colour packed as the devices keep it (red bits 0-7, blue 8-15, green 16-23), the LED's
    // brightness 0-255 and the light flag. Repaints only when something changed.
    void SetLightColour(uint32_t rgbPacked, uint8_t brightness, bool lightImage);
    uint32_t LightColourPacked() const { return m_packed; }
    uint8_t LightBrightness() const { return m_brightness; }
    bool LightFlag() const { return m_lightFlag; }
    void SetLightFlag(bool on);
    // The colour a packed value and brightness show as: each component × brightness / 255.
    static QColor ShownColour(uint32_t rgbPacked, uint8_t brightness);

    bool IsKeySetHidden() const { return m_keySetHidden; }
    void SetKeySetHidden(bool hidden);

    bool IsSelected() const { return m_selected; }
    // Setting the value it already has changes nothing (no repaint, no selectedChanged).
    void SetSelected(bool selected);

    QString LightImage() const { return m_lightImage; }
    void SetLightImage(const QString& path);
    QString KeySetImage() const { return m_keySetImage; }
    void SetKeySetImage(const QString& path);
    // Accepted for the skin's sake ("#rrggbb", "#aarrggbb" or the digits alone); not drawn.
    QString GameNameTextColorText() const { return m_gameNameColorText; }
    QColor GameNameTextColor() const { return m_gameNameColor; }
    void SetGameNameTextColor(const QString& text);
    // What the key does now, in the current language (empty for an LED or a key without one).
    QString AssignmentText() const;

    // Draws the whole key (frame, light, legend, key-set mark) with its top left corner at `at`
    // in the painter's coordinates. The button's own paint event uses it, and so does a sibling
    // that paints many keys of a picture in one pass.
    void PaintKey(QPainter& p, QPoint at);
    // How the legend is set on the key: the font and the text as drawn (one line, two lines,
    // or cut as a last resort). Worked out once per text, size and font.
    QFont LegendFont(const QString& text);
    QString LegendLayout(const QString& text);
    // A sibling widget, stacked above the button and covering it, that paints this key with
    // PaintKey; null (the default) when the button paints itself. Changes of the light and the
    // key-set mark then go to that widget, so that the keys changed in one frame are repainted
    // together in one paint event of one opaque widget.
    void SetSharedPainter(CKeyPainter* painter) { m_sharedPainter = painter; }
    CKeyPainter* SharedPainter() const { return m_sharedPainter.data(); }

signals:
    void selectedChanged(bool selected);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* e) override;
    // The arrow keys move the focus to the nearest key that way; Enter chooses the key.
    void keyPressEvent(QKeyEvent* e) override;

private:
    // Repaints the key: through the shared painter when there is one and it covers the key.
    void repaintKey();
    static constexpr char kRovingProperty[] = "tessel_key_tab_stop";
    QList<CDeviceKeyButtonUI*> FocusableKeys() const;
    void MakeTabStop();
    CDeviceKeyButtonUI* Neighbour(int key) const;
    QPixmap loadImage(const QString& path) const;
    // The styled key cap without its legend, drawn by the style sheet once per size and state:
    // a picture of a hundred keys repaints its lights many times a second, and the style sheet
    // is by far the dearest part of a key's paint.
    const QPixmap& Frame(const QStyleOptionButton& option);
    // The legend in one of its two colours (on a dark or a brightly lit key), drawn once.
    const QPixmap& Legend(const QString& text, bool bright);
    // Draws the lit cap in the LED's colour (alpha 120-255 by brightness): the cap's shape
    // with antialiased corners. The shape's coverage is rasterised once per size. The rows the
    // shape covers fully are one solid fill; only the rows with the corners are written pixel
    // by pixel into a picture and blended, which costs far less than filling the rounded path.
    void DrawLitCap(QPainter& p, const QRectF& cap, const QColor& colour, int alpha);

    QPixmap m_frame;
    bool m_frameBlank = false;
    qreal m_frameRatio = 0;  // the style draws nothing for this state: nothing to blend
    qint64 m_frameKey = 0;
    qint64 m_styleKey = 0;  // palette and style sheet the frame was drawn with
    QSize m_frameSize;
    QStyle::State m_frameState = {};
    void fitLegend(const QString& text);
    QString m_fitText;
    QSize m_fitSize;
    QFont m_fitFont;
    QString m_fitLegend;
    QFont m_fitLegendFont;
    QPixmap m_legend[2];
    QString m_legendText[2];
    QSize m_legendSize[2];
    QRect m_legendInk[2];
    qreal m_legendRatio[2] = {0, 0};  // the pixels the legend covers, so that only they are blended
    QImage m_capShape;  // coverage of the lit cap, in the alpha of white pixels
    // The cap's pixels that its shape does not cover fully, with their coverage (0-254).
    std::vector<std::pair<int, int>> m_capEdge;
    int m_capSolidTop = 0;  // rows [top, bottom) of the shape are fully covered
    int m_capSolidBottom = 0;
    qreal m_capRatio = 0;
    QImage m_capLight;
    // The style option and pixel ratio of the last paint. Working them out (palette, font and
    // the style sheet's icon size) is the dearest part of a light's repaint; every change of
    // state they follow reaches the button as an event, which marks them stale.
    QStyleOptionButton m_option;
    qreal m_ratio = 1;
    bool m_optionStale = true;

    uint32_t m_packed = 0;
    uint8_t m_brightness = 0;
    bool m_lightFlag = false;
    bool m_keySetHidden = true;
    bool m_selected = false;
    QString m_lightImage;
    QString m_keySetImage;
    QString m_gameNameColorText;
    QColor m_gameNameColor;
    QPointer<CKeyPainter> m_sharedPainter;
};

}  // namespace ui
