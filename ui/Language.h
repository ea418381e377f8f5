#pragma once

#include <QHash>
#include <QString>

class QWidget;

namespace ui {

// Text ids and the language file that resolves them. A language file is XML with one
// <Text id="..." value="..."/> per text (anywhere below the root element). A control whose
// text, tool tip, title, place-holder text, combo items or tab texts hold an id shows the
// resolved text; the id is remembered in the dynamic property "textid" ("tooltipid",
// "titleid", "placeholderid"; combo items and tabs keep theirs in item data / the page), so the
// control follows a language switch. An unknown id shows as itself. UI thread only.
//
// A text counts as an id when the current language has it or it looks like one (words of
// letters and digits joined by underscores, no spaces, e.g. "message_text_5"). Text that code
// later sets to something else replaces the remembered id.
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
    // Resolves every id in root and below (a freshly built tree, or again after a change).
    void Apply(QWidget* root);
    // Shows id's text on the control (text, or title for group boxes) and remembers the id.
    void SetTextId(QWidget* control, const QString& id);
    // True when `text` would be taken as an id.
    bool LooksLikeId(const QString& text) const;

private:
    Language() = default;
    void applyOne(QWidget* w);

    QHash<QString, QString> m_texts;
    QString m_file;
};

}  // namespace ui
