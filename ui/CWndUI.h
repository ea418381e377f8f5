#pragma once

#include <QPointer>
#include <QWidget>

namespace ui {

// Hosts a window that is not one of the skin's controls (another toolkit's view, a video
// surface): whenever the control is shown, hidden, moved or resized, or its window moves, the
// hosted window takes the control's rectangle and its visibility. A hosted window that is a
// child of the control's window is placed in that window's coordinates; any other is placed on
// the screen.
class CWndUI : public QWidget {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "Wnd";

    explicit CWndUI(QWidget* parent = nullptr);
    ~CWndUI() override;

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CWndUI* GetInterface(const QString& name);

    // Takes `hosted` (null lets the last one go; it is not deleted) and places it at once.
    void Attach(QWidget* hosted);
    QWidget* Hosted() const { return m_hosted; }
    // Where the hosted window belongs now: the control's rectangle in the hosted window's
    // parent's coordinates, or on the screen.
    QRect HostedGeometry() const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();

    QPointer<QWidget> m_hosted;
    QPointer<QWidget> m_watchedWindow;
};

}  // namespace ui
