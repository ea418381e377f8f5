#pragma once

#include <QHash>
#include <QString>

class QComboBox;
class QWidget;

namespace ui {

// Text ids and the language file that resolves them. A language file is XML with one
// <Text id="..." value="..."/> per text (anywhere below the root element). An unknown id shows
// as itself. UI thread only.
//
// Which text is an id is decided where it comes from, never from its shape: every text, tool
// tip, title, place-holder text, accessible name, combo item and tab text written in a skin
// file is an id (the builders mark what they built with MarkTextIds; the id stays in the dynamic property
// "textid", "tooltipid", "titleid", "placeholderid", "accessiblenameid", "windowtitleid"; combo
// items and tabs keep theirs in item data / the page). Text that code sets is plain, even when
// it looks like an id (a profile named "menu_exit"), unless code calls SetTextId; code setting
// other text on a control drops its id. Resolved controls follow a language switch.
//
// Every control a user can reach (buttons, edits, combos, sliders, item views, anything that
// takes focus) gets an accessible name in the current language: the skin's own when it gives
// one, else the control's text, else its tool tip (icon-only buttons), else its place-holder.
class Language {
public:
    static Language& instance();

    // Replaces the current texts with those of the file; false (texts kept) when the file
    // cannot be read or is not well-formed XML.
    bool LoadLanguage(const QString& xmlPath);
    // LoadLanguage, then ReloadText when it succeeded.
    bool SetLanguage(const QString& xmlPath);
    // Every live top-level window and its controls show their ids' texts again.
    void ReloadText();
    // The text of id; the id itself when unknown.
    QString Text(const QString& id) const;
    bool Has(const QString& id) const { return m_texts.contains(id); }
    QString CurrentFile() const { return m_file; }
    // Takes the texts `control` holds as written in a skin file: each is a text id, remembered
    // so that Apply resolves it. Runs once per control; later calls change nothing.
    void MarkTextIds(QWidget* control);
    // Resolves every id in root and below (a freshly built tree, or again after a change) and
    // renews the accessible names.
    void Apply(QWidget* root);
    // Shows id's text on the control (text, title for group boxes, place-holder for edits, the
    // title of a window) and remembers the id.
    void SetTextId(QWidget* control, const QString& id);
    // Shows id's text as item `index` of the combo and remembers the id, so that the item follows
    // a language switch like the items a skin file lists.
    void SetItemTextId(QComboBox* combo, int index, const QString& id);
    // Shows id's text as the control's tool tip and accessible name and remembers the id (a
    // picture that is the only sign of a state says it in words).
    void SetToolTipId(QWidget* control, const QString& id);

private:
    Language() = default;
    void applyOne(QWidget* w);
    void applyAccessibleName(QWidget* w);
    void linkLabel(QWidget* w);

    QHash<QString, QString> m_texts;
    QString m_file;
};

}  // namespace ui
