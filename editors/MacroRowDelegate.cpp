#include "editors/MacroRowDelegate.h"

#include "editors/MacroFile.h"
#include "ui/Language.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace macroview {

namespace {

// What a row shows in its state column, by style: key presses and releases are coloured so that
// a pair reads at a glance.
QColor StateColour(int style)
{
    switch (style) {
    case kDownStyle: return QColor(0x2d, 0xe2, 0xe6);
    case kUpStyle: return QColor(0xff, 0x8a, 0x7a);
    default: return QColor(0xd6, 0xdd, 0xe8);
    }
}

const QColor kNameColour(0xd6, 0xdd, 0xe8);
const QColor kDelayBox(0x44, 0x44, 0x44);
const QColor kDelayText(0xf2, 0xf5, 0xfa);
constexpr int kLeftMargin = 3;
constexpr int kSpacing = 10;
constexpr int kMinRowHeight = 30;
constexpr int kBoxPadding = 6;

// What a row says, from its roles: `data` reads one role of the row.
template <typename Data>
QString StateText(const Data& data)
{
    const QString id = data(kStateIdRole).toString();
    return id.isEmpty() ? data(kStateTextRole).toString() : ui::Language::instance().Text(id);
}

template <typename Data>
QString NameText(const Data& data)
{
    const QString id = data(kNameIdRole).toString();
    return id.isEmpty() ? QString() : ui::Language::instance().Text(id);
}

}  // namespace

MacroRowItem::MacroRowItem(const Json::Value& event, const QString& json)
{
    setFlags(flags() | Qt::ItemIsEditable);
    SetEvent(event, json);
}

void MacroRowItem::SetEvent(const Json::Value& event, const QString& json)
{
    const int type = macrofile::IntOf(event, "Type");
    setData(kEventRole, json);
    setData(kNameIdRole, macrofile::EventTextId(event));
    if (type == 4 || type == 5) {  // wheel: the state is its step count
        setData(kStateIdRole, QString());
        setData(kStateTextRole, QString::number(macrofile::IntOf(event, "Button")));
        setData(kStyleRole, kTextStyle);
    } else if (type == 2 || type == 3) {  // pointer moves carry no state
        setData(kStateIdRole, QString());
        setData(kStateTextRole, QString());
        setData(kStyleRole, kTextStyle);
    } else {
        const bool down = macrofile::IsDown(event);
        setData(kStateIdRole, down ? QStringLiteral("macro_action_down") : QStringLiteral("macro_action_up"));
        setData(kStateTextRole, QString());
        setData(kStyleRole, down ? kDownStyle : kUpStyle);
    }
    setData(kDelayRole, macrofile::DelayOf(event));
}

QVariant MacroRowItem::data(int role) const
{
    if (role == Qt::AccessibleTextRole || role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        // "A, down, 50 ms": what the row shows, for a screen reader and for keyboard search.
        const auto own = [this](int r) { return QListWidgetItem::data(r); };
        QStringList parts;
        for (const QString& part : {NameText(own), StateText(own)})
            if (!part.isEmpty())
                parts << part;
        if (role == Qt::DisplayRole)
            return parts.value(0);
        parts << QStringLiteral("%1 %2").arg(own(kDelayRole).toInt()).arg(ui::Language::instance().Text(QStringLiteral("macro_ms_text")));
        return parts.join(QStringLiteral(", "));
    }
    return QListWidgetItem::data(role);
}

DelayValidator::DelayValidator(QLineEdit* edit) : QIntValidator(0, kMaxDelayMs, edit)
{
    connect(edit, &QLineEdit::inputRejected, edit, [edit] {
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())),
                           ui::Language::instance().Text(QStringLiteral("macro_delay_range")), edit);
    });
}

QValidator::State DelayValidator::validate(QString& text, int& pos) const
{
    const State state = QIntValidator::validate(text, pos);
    if (state == Intermediate && !text.isEmpty() && text.toLongLong() > kMaxDelayMs)
        return Invalid;
    return state;
}

QRect MacroRowDelegate::DelayRect(const QRect& row, const QFontMetrics& metrics)
{
    const int width = metrics.horizontalAdvance(QStringLiteral("000000")) + 2 * kBoxPadding + 4;
    const int height = std::min(row.height() - 4, metrics.height() + 10);
    return QRect(row.right() - width - 2, row.top() + (row.height() - height) / 2, width, height);
}

void MacroRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The row's background (hover, selection) as the list's style draws it.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const QFontMetrics& metrics = option.fontMetrics;
    const QRect delayBox = DelayRect(option.rect, metrics);
    const int textLeft = option.rect.left() + kLeftMargin;
    const int textWidth = std::max(0, delayBox.left() - kSpacing - textLeft);
    const int column = std::max(0, (textWidth - kSpacing) / 2);
    const QRect nameRect(textLeft, option.rect.top(), column, option.rect.height());
    const QRect stateRect(nameRect.right() + 1 + kSpacing, option.rect.top(), column, option.rect.height());

    painter->save();
    painter->setFont(option.font);
    const bool enabled = option.state & QStyle::State_Enabled;
    auto pen = [&](const QColor& c) { painter->setPen(enabled ? c : option.palette.color(QPalette::Disabled, QPalette::Text)); };
    pen(kNameColour);
    const auto data = [&index](int role) { return index.data(role); };
    painter->drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft,
                      metrics.elidedText(NameText(data), Qt::ElideRight, nameRect.width()));
    pen(StateColour(index.data(kStyleRole).toInt()));
    painter->drawText(stateRect, Qt::AlignVCenter | Qt::AlignLeft,
                      metrics.elidedText(StateText(data), Qt::ElideRight, stateRect.width()));
    painter->fillRect(delayBox, kDelayBox);
    pen(kDelayText);
    painter->drawText(delayBox.adjusted(kBoxPadding, 0, -kBoxPadding, 0), Qt::AlignVCenter | Qt::AlignLeft,
                      QString::number(index.data(kDelayRole).toInt()));
    painter->restore();
}

QSize MacroRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(0, std::max(kMinRowHeight, option.fontMetrics.height() + 12));
}

QWidget* MacroRowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("macro_delay"));
    edit->setMaxLength(6);
    edit->setValidator(new DelayValidator(edit));
    edit->setAccessibleName(ui::Language::instance().Text(QStringLiteral("macro_delay_acc")));
    return edit;
}

void MacroRowDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(QString::number(index.data(kDelayRole).toInt()));
        edit->selectAll();
    }
}

void MacroRowDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit)
        return;
    const int delay = int(std::clamp<int64_t>(macrofile::LeadingNumber(edit->text().toStdString()), 0, kMaxDelayMs));
    // The row's event is the editor's to change (it knows the file); the delegate only reports.
    emit const_cast<MacroRowDelegate*>(this)->DelayEdited(index.row(), delay);
}

void MacroRowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(DelayRect(option.rect, option.fontMetrics));
}

bool MacroRowDelegate::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (auto* editor = qobject_cast<QWidget*>(object); editor && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
            emit commitData(editor);
            emit closeEditor(editor, NoHint);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

bool MacroRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                   const QModelIndex& index)
{
    // A click in the delay box edits the delay at once, as the box promises; a click elsewhere
    // only picks the row.
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* view = qobject_cast<QAbstractItemView*>(const_cast<QWidget*>(option.widget));
        if (view && mouse->button() == Qt::LeftButton && (index.flags() & Qt::ItemIsEditable) &&
            DelayRect(option.rect, option.fontMetrics).contains(mouse->position().toPoint())) {
            view->setCurrentIndex(index);
            view->edit(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

}  // namespace macroview
