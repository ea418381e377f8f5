#pragma once

#include <QPixmap>
#include <QPushButton>
#include <QTimer>

namespace ui {

// The recording button: while blinking is on and it has a "redioimage", the image fades in and
// out over the button. Every 50 ms (timer 100) the fade level moves by 20 between 80 and 255,
// falling from 255 to 80 and rising back, and the image string becomes
// "res='<image>' fade='<level>'". The timer re-arms itself only while blinking is on.
class CRedioMacroButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString redioimage READ RedioImage WRITE SetRedioImage)
public:
    static constexpr char kClassName[] = "RedioMacroButton";
    static constexpr int kTimerId = 100;
    static constexpr int kTimerMs = 50;
    static constexpr int kFadeStep = 20;
    static constexpr int kFadeMin = 80;
    static constexpr int kFadeMax = 255;

    explicit CRedioMacroButtonUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CRedioMacroButtonUI* GetInterface(const QString& name);

    // One tick of the fade: the next level and whether it is falling after it.
    struct Fade {
        int level;
        bool falling;
    };
    static Fade NextFade(Fade now);

    QString RedioImage() const { return m_image; }
    void SetRedioImage(const QString& path);
    // Starts or stops the blinking; stopping shows the image at full strength again.
    void SetBlinking(bool on);
    bool IsBlinking() const { return m_blinking; }
    int FadeLevel() const { return m_fade.level; }
    // The image as drawn now: empty without an image.
    QString ImageString() const;
    // One timer tick (the timer calls it).
    void OnTimer();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_image;
    QPixmap m_pixmap;
    Fade m_fade{kFadeMax, true};
    bool m_blinking = false;
    QTimer m_timer;
};

}  // namespace ui
