#include "app/MusicWnd.h"

#include "app/SkinResources.h"

#include <QAbstractButton>
#include <algorithm>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>

namespace {

const char* const kSliders[3] = {"audio_r_slider", "audio_g_slider", "audio_b_slider"};

}  // namespace

MusicWnd::MusicWnd(const app::AudioStyles& styles) : WindowImplBase(nullptr), m_styles(styles)
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_QuitOnClose, false);
}

QString MusicWnd::GetSkinFile()
{
    return app::SkinResources::Instance().Resolve(QStringLiteral("XML_MUSIC"));
}

void MusicWnd::InitWindow()
{
    setFixedSize(369, 276);
    for (const char* name : kSliders) {
        if (auto* s = PM().Find<QSlider>(QLatin1String(name)))
            s->setRange(0, app::AudioStyles::kMaxStep);
    }
    if (auto* tab = PM().Find<QAbstractButton>(QStringLiteral("audio_select_tab%1").arg(m_styles.current + 1))) {
        const QSignalBlocker block(tab);
        tab->setChecked(true);
    }
    ShowColour();
    ShowNames();
}

void MusicWnd::ShowColour()
{
    const auto& c = m_styles.colours[m_styles.current % app::AudioStyles::kCount];
    for (int i = 0; i < 3; ++i) {
        if (auto* s = PM().Find<QSlider>(QLatin1String(kSliders[i]))) {
            const QSignalBlocker block(s);
            s->setValue(c[size_t(i)]);
        }
    }
}

void MusicWnd::ShowNames()
{
    for (int i = 0; i < app::AudioStyles::kCount; ++i) {
        if (auto* e = PM().Find<QLineEdit>(QStringLiteral("audio_edit_name%1").arg(i + 1))) {
            const QSignalBlocker block(e);
            e->setText(m_styles.names[size_t(i)]);
        }
    }
}

void MusicWnd::Notify(TNotifyUI& msg)
{
    const QString name = msg.pSender ? msg.pSender->objectName() : QString();
    if (msg.sType == QLatin1String(ui::kNotifyClick)) {
        if (name == QLatin1String("okbtn"))
            Close(1);
        else if (name == QLatin1String("closebtn"))
            Close(0);
        return;
    }
    if (msg.sType == QLatin1String(ui::kNotifySelectChanged) && msg.wParam == 1 &&
        name.startsWith(QLatin1String("audio_select_tab"))) {
        const int style = name.mid(16).toInt() - 1;
        if (style >= 0 && style < app::AudioStyles::kCount) {
            m_styles.current = uint8_t(style);
            ShowColour();
        }
        return;
    }
    if (msg.sType == QLatin1String(ui::kNotifyValueChanged) ||
        msg.sType == QLatin1String(ui::kNotifyMoveValueChanged)) {
        for (int i = 0; i < 3; ++i) {
            if (name == QLatin1String(kSliders[i]))
                m_styles.colours[m_styles.current % app::AudioStyles::kCount][size_t(i)] =
                    uint8_t(std::clamp<intptr_t>(msg.wParam, 0, app::AudioStyles::kMaxStep));
        }
        return;
    }
    if (msg.sType == QLatin1String(ui::kNotifyKillFocus) && name.startsWith(QLatin1String("audio_edit_name"))) {
        const int style = name.mid(15).toInt() - 1;
        auto* edit = qobject_cast<QLineEdit*>(msg.pSender);
        if (!edit || style < 0 || style >= app::AudioStyles::kCount)
            return;
        m_styles.names[size_t(style)] = app::AudioStyles::NameOrDefault(style, edit->text());
        if (edit->text().isEmpty()) {
            const QSignalBlocker block(edit);
            edit->setText(m_styles.names[size_t(style)]);
        }
    }
}

void MusicWnd::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        Close(0);
        return;
    }
    WindowImplBase::keyPressEvent(e);
}
