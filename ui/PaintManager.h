#pragma once

#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <map>
#include <utility>

class QTimer;
class QWidget;
class WindowImplBase;
struct TNotifyUI;

namespace ui {

// The per-window facade over the window's controls: look-up by name (objectName), timers,
// fonts by id, DPI, and setters that show a value with or without raising its notification.
// UI thread only. A missing control (null) makes every operation on it do nothing.
class PaintManager {
public:
    explicit PaintManager(WindowImplBase* window);
    ~PaintManager();
    // Stops every notification and timer of this window (the window calls it when it is
    // destroyed, before its controls go).
    void Detach();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    WindowImplBase* Window() const { return m_window; }

    // First control named `name` in the window (breadth first); null when missing.
    QWidget* FindControl(const QString& name) const;
    // First descendant of `parent` named `name`; null when parent is null or it is missing.
    static QWidget* FindSubControlByName(QWidget* parent, const QString& name);
    template <class T>
    T* Find(const QString& name) const { return qobject_cast<T*>(FindControl(name)); }

    // Connects the notifications of `root` and every control below it (once per control; safe to
    // call again after adding controls). Create and Builder call it for what they build.
    void Wire(QWidget* root);
    // Delivers a notification to the window's Notify (custom controls raise their own types).
    void SendNotify(QWidget* sender, const QString& type, intptr_t wParam = 0, intptr_t lParam = 0);
    // SendNotify through the PaintManager of the window that owns `control`; nothing when the
    // control is not inside a WindowImplBase.
    static void Notify(QWidget* control, const QString& type, intptr_t wParam = 0,
                       intptr_t lParam = 0);
    static PaintManager* ForControl(QWidget* control);

    // One timer per (control, id): setting it again restarts it with the new period. Each
    // expiry sends "timer" with wParam = id. The timer dies with its control.
    bool SetTimer(QWidget* control, int id, int ms);
    void KillTimer(QWidget* control, int id);
    void KillTimer(QWidget* control);
    bool HasTimer(QWidget* control, int id) const;

    // Fonts by id. Sizes are in pixels at 96 DPI and scale with the DPI. Shared fonts are seen
    // by every window; a window's own font of the same id wins. A control shows font id N when
    // it has the dynamic property "fontid" = N (applied on Wire and on every font or DPI change).
    void AddFont(int id, const QString& family, int pixelSize, bool bold, bool underline,
                 bool italic, bool shared = false);
    void SetDefaultFont(const QString& family, int pixelSize, bool bold, bool underline,
                        bool italic, bool shared = false);
    // The font of id (scaled to the DPI); the default font for an unknown id.
    QFont GetFont(int id) const;
    QFont GetDefaultFont() const;
    void RemoveAllFonts();  // own and shared
    void ApplyFonts(QWidget* root = nullptr);

    // Scales the window's fonts, fixed sizes, layout margins and spacing by dpi / 96 and sizes
    // the window to its skin size at that DPI. The DPI it already has changes nothing.
    void SetDPI(int dpi);
    int GetDPI() const { return m_dpi; }
    static void SetAllDPI(int dpi);

    // Showing values: notify = false shows the value without raising its notification.
    void SelectOption(QWidget* option, bool selected, bool notify);
    void SelectComboItem(QWidget* combo, int index, bool notify);
    void SelectListItem(QWidget* list, int index, bool notify);
    void SetSliderValue(QWidget* slider, int value, bool notify);
    void SetEditText(QWidget* edit, const QString& text, bool notify);

    // Edit limits: digits only (optionally within [min, max]; a typed value outside the range
    // is not accepted) and the longest text. Only QLineEdit; anything else is skipped.
    static void SetNumberOnly(QWidget* edit, bool numberOnly);
    static void SetEditRange(QWidget* edit, int minValue, int maxValue);
    static void SetMaxChar(QWidget* edit, int maxChars);

    static void SetResourcePath(const QString& skinFolder);
    static QString GetResourcePath();
    // `relative` (either slash) resolved under the resource path.
    static QString ResourceFile(const QString& relative);
    // The icon of the image `relative` names under the resource path (a null icon when there is
    // no such file), one per image for the process. An icon's scaled pixmaps are cached under
    // the icon's identity: an icon made anew at every refresh would fill that cache with
    // pixmaps nobody asks for again.
    static QIcon ResourceIcon(const QString& relative);

private:
    struct FontSpec {
        QString family;
        int pixelSize = 12;
        bool bold = false, underline = false, italic = false;
    };
    QFont makeFont(const FontSpec& spec) const;
    static QFont makeFontUnscaled(const FontSpec& spec);
    QFont scaleFont(QFont f) const;
    void wireTree(QWidget* root);
    void wireOne(QWidget* w);
    // Scales root and every control below it; sizeRoot also sizes root to its skin size.
    void scaleTree(QWidget* root, double factor, bool sizeRoot);

    WindowImplBase* m_window;
    QObject* m_guard = nullptr;  // filter and context of every connection made for the window
    int m_dpi = 96;
    std::map<int, FontSpec> m_fonts;
    FontSpec m_defaultFont;
    bool m_hasDefaultFont = false;
    std::map<std::pair<QWidget*, int>, QPointer<QTimer>> m_timers;
};

}  // namespace ui
