#pragma once

#include <QIntValidator>
#include <QListWidgetItem>
#include <QStyledItemDelegate>

namespace Json {
class Value;
}
class QLineEdit;

namespace macroview {

// A delay is kept by the device in 16 bits.
constexpr int kMaxDelayMs = 65535;

// The roles of a row of a macro's event list.
enum Role {
    kEventRole = Qt::UserRole,  // the event as saved (JSON text)
    kNameIdRole,                // text id of the event's name ("A", "Left button", ...)
    kStateIdRole,               // text id of "down" / "up"; empty when the state is a number
    kStateTextRole,             // the literal state (a wheel's step count), when not a text id
    kStyleRole,                 // a StateStyle
    kDelayRole,                 // the delay in ms
};

enum StateStyle { kDownStyle, kUpStyle, kTextStyle };

// One event row. It carries the event and what the row shows; its name for a screen reader is
// made when asked, in the language chosen at that moment.
class MacroRowItem : public QListWidgetItem {
public:
    MacroRowItem(const Json::Value& event, const QString& json);
    // Replaces the event (and what the row shows) by `event`.
    void SetEvent(const Json::Value& event, const QString& json);
    QVariant data(int role) const override;
    QListWidgetItem* clone() const override { return new MacroRowItem(*this); }
};

// Takes whole numbers from 0 to 65535 only: a keystroke that would go beyond is refused at
// once (QIntValidator lets "99999" stand as an intermediate value, which was then saved and
// sent cut to 16 bits), and the field says why.
class DelayValidator : public QIntValidator {
public:
    explicit DelayValidator(QLineEdit* edit);
    State validate(QString& text, int& pos) const override;
};

// Draws an event row (its name, its state and its delay in a box) without a widget per row, so
// that a macro at the device's cap of events is one list and no more; the delay is edited in
// place by a line edit that exists only while it is being edited. A click in the delay box,
// F2 or a typed digit opens it; Enter, Tab or leaving it ends the edit.
class MacroRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Where a row's delay box lies inside the row's rectangle `row`.
    static QRect DelayRect(const QRect& row, const QFontMetrics& metrics);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    // The user finished typing a delay into row `row` (empty text counts as 0).
    void DelayEdited(int row, int delay);

protected:
    // Tab and Shift+Tab end the edit and give the focus back to the list, so that Tab leaves the
    // list in one or two steps instead of walking the delays of every row.
    bool eventFilter(QObject* editor, QEvent* event) override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

}  // namespace macroview
