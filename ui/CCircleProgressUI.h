#pragma once

#include <QColor>
#include <QProgressBar>

namespace ui {

// A progress bar drawn as a ring: a full disc in the background colour, a pie in the
// foreground colour from twelve o'clock sweeping clockwise value / (max - min) of the full
// circle, then an inner disc inset by 10 px, so the value shows as a ring. With "showtext" the
// bar's text is drawn in the middle. The colours are properties, so the style sheet sets them
// (qproperty-backgroundColor and friends); the inner disc should match what lies behind the
// ring.
class CCircleProgressUI : public QProgressBar {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ BackgroundColor WRITE SetBackgroundColor)
    Q_PROPERTY(QColor foregroundColor READ ForegroundColor WRITE SetForegroundColor)
    Q_PROPERTY(QColor innerColor READ InnerColor WRITE SetInnerColor)
    Q_PROPERTY(bool showtext READ ShowText WRITE SetShowText)
public:
    static constexpr char kClassName[] = "CircleProgress";
    static constexpr int kStartAngle = 90;  // degrees, counter-clockwise from three o'clock
    static constexpr int kRingInset = 10;   // px between the outer edge and the inner disc

    explicit CCircleProgressUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }

    // Degrees of the pie for value in [minimum, maximum]: value / (maximum - minimum) * 360;
    // 0 for an empty range.
    static double SweepDegrees(int value, int minimum, int maximum);

    QColor BackgroundColor() const { return m_background; }
    void SetBackgroundColor(const QColor& c);
    QColor ForegroundColor() const { return m_foreground; }
    void SetForegroundColor(const QColor& c);
    QColor InnerColor() const { return m_inner; }
    void SetInnerColor(const QColor& c);
    bool ShowText() const { return m_showText; }
    void SetShowText(bool show);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_background{0x1b, 0x21, 0x2a};
    QColor m_foreground{0x2d, 0xe2, 0xe6};
    QColor m_inner{Qt::white};
    bool m_showText = false;
};

}  // namespace ui
