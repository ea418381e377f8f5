#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

namespace ui {

// A chart of named values, drawn as a pie ("view" = "pie") or as bars ("view" = "histpgram",
// the skins' spelling). Bars are drawn with "pillarimage" (at most "pillarimagewidth" wide)
// over a "shadowimage" strip of "shadowimageheight" along the bottom, or in the palette's
// highlight colour without images. With "showtext" each item's name and value are written by
// its slice or under its bar in font "font" of the window. Values below zero count as zero.
class CChartViewUI : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString view READ ViewName WRITE SetViewName)
    Q_PROPERTY(QString shadowimage READ ShadowImage WRITE SetShadowImage)
    Q_PROPERTY(int shadowimageheight READ ShadowImageHeight WRITE SetShadowImageHeight)
    Q_PROPERTY(QString pillarimage READ PillarImage WRITE SetPillarImage)
    Q_PROPERTY(int pillarimagewidth READ PillarImageWidth WRITE SetPillarImageWidth)
    Q_PROPERTY(bool showhtml READ ShowHtml WRITE SetShowHtml)
    Q_PROPERTY(bool showtext READ ShowText WRITE SetShowText)
    Q_PROPERTY(int font READ FontId WRITE SetFontId)
public:
    static constexpr char kClassName[] = "ChartView";
    enum class View { Pie, Bars };
    struct Item {
        QString name;
        double value = 0;
    };

    explicit CChartViewUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CChartViewUI* GetInterface(const QString& name);

    void Add(const QString& name, double value);
    void RemoveAll();
    const std::vector<Item>& Items() const { return m_items; }

    // Each item's slice in 1/16 degree, counter-clockwise from three o'clock, the slices
    // together a full circle; empty when nothing is above zero.
    static std::vector<int> PieSpans(const std::vector<Item>& items);
    // Each item's bar in `area`: equal slots, the bar centred in its slot and at most
    // `maxBarWidth` wide (0: the slot's width less a gap), its height the item's share of the
    // largest value.
    static std::vector<QRect> BarRects(const std::vector<Item>& items, const QRect& area, int maxBarWidth);

    View GetView() const { return m_view; }
    QString ViewName() const { return m_view == View::Pie ? QStringLiteral("pie") : QStringLiteral("histpgram"); }
    // "pie" or "histpgram"; anything else leaves the view as it is.
    void SetViewName(const QString& name);
    QString ShadowImage() const { return m_shadowImage; }
    void SetShadowImage(const QString& path);
    int ShadowImageHeight() const { return m_shadowHeight; }
    void SetShadowImageHeight(int h);
    QString PillarImage() const { return m_pillarImage; }
    void SetPillarImage(const QString& path);
    int PillarImageWidth() const { return m_pillarWidth; }
    void SetPillarImageWidth(int w);
    bool ShowHtml() const { return m_showHtml; }
    void SetShowHtml(bool on);
    bool ShowText() const { return m_showText; }
    void SetShowText(bool on);
    int FontId() const { return m_fontId; }
    void SetFontId(int id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void UpdateDescription();

    std::vector<Item> m_items;
    View m_view = View::Pie;
    QString m_shadowImage, m_pillarImage;
    QPixmap m_shadow, m_pillar;
    int m_shadowHeight = 0;
    int m_pillarWidth = 0;
    bool m_showHtml = false;
    bool m_showText = false;
    int m_fontId = -1;
};

}  // namespace ui
