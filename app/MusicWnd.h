#pragma once

#include "app/AudioStyles.h"
#include "ui/WindowImplBase.h"

// The audio style window: chooses the style in use and edits the four styles' names and
// colours on a copy; OK (result 1) hands the copy back, the close button (result 0) drops it.
class MusicWnd : public WindowImplBase {
    Q_OBJECT
public:
    explicit MusicWnd(const app::AudioStyles& styles);

    QString GetSkinFile() override;
    QString GetWindowClassName() override { return QStringLiteral("MusicWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;

    const app::AudioStyles& Styles() const { return m_styles; }

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void ShowColour();
    void ShowNames();

    app::AudioStyles m_styles;
};
