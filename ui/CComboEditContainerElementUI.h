#pragma once

#include <QPointer>

#include "ui/CListRowUI.h"

class QComboBox;
class QLineEdit;
class QLabel;

namespace ui {

// A list row with a combo and an edit. On initialisation (when it is first shown or asked for
// its controls) a row that the skin gave no contents builds them from
// "XML/CustomControlXML/ComboEditElementItem.xml" and finds "text1" (the combo), "text2" (a
// caption) and "delay_edit" (the edit); a row the skin filled keeps its contents and takes its
// first combo and first edit as its own. Enter sends "return", releasing the button on the row
// "itemclick", the context menu "menu"; pressing it selects the row (with Ctrl it toggles). A
// change of its combo or an Enter in its edit marks the row changed.
class CComboEditContainerElementUI : public CListRowUI {
    Q_OBJECT
    // Accepted for the skin's sake and not used: the row draws itself through the style sheet.
    Q_PROPERTY(QString normalimage READ IgnoredImage WRITE IgnoreImage)
    Q_PROPERTY(QString hotimage READ IgnoredImage WRITE IgnoreImage)
    Q_PROPERTY(QString selectedimage READ IgnoredImage WRITE IgnoreImage)
public:
    static constexpr char kClassName[] = "ComboEditContainerElement";
    static constexpr char kItemFile[] = "XML/CustomControlXML/ComboEditElementItem.xml";

    explicit CComboEditContainerElementUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CComboEditContainerElementUI* GetInterface(const QString& name);

    // Builds or finds the contents once; true when the row has its combo and its edit.
    bool Init();
    QComboBox* Combo();
    QLineEdit* Edit();
    QLabel* Caption();
    bool IsChanged() const { return m_changed; }
    void SetChanged(bool on) { m_changed = on; }

    QString IgnoredImage() const { return {}; }
    void IgnoreImage(const QString&) {}

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_initialised = false;
    bool m_changed = false;
    QPointer<QComboBox> m_combo;
    QPointer<QLineEdit> m_edit;
    QPointer<QLabel> m_caption;
};

}  // namespace ui
