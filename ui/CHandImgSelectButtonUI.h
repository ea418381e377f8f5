#pragma once

#include <QImage>
#include <QPoint>
#include <QPushButton>
#include <QRect>

namespace ui {

// A picture that can be dragged inside its frame. An image larger than the control shows a
// control-sized part, from the top left corner at first; pressing the button and moving drags
// the picture with the pointer, the shown part staying within the image. The part shown is kept
// as the image string "file='<path>' source='<left>,<top>,<right>,<bottom>'". An image no larger
// than the control is shown whole and does not move.
class CHandImgSelectButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString handimage READ HandImage WRITE SetHandImage)
    // The pointer's shape over the control by its skin name ("arrow", "hand", "sizeall", ...);
    // an unknown name leaves the shape as it is.
    Q_PROPERTY(QString cursorname READ CursorName WRITE SetCursorName)
public:
    static constexpr char kClassName[] = "HandImgSelectButton";

    explicit CHandImgSelectButtonUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CHandImgSelectButtonUI* GetInterface(const QString& name);

    QString HandImage() const { return m_path; }
    void SetHandImage(const QString& path);
    // The image itself (for a picture made in memory); `path` names it in the image string.
    void SetImage(const QImage& image, const QString& path);
    QSize ImageSize() const { return m_image.size(); }
    // The part of the image shown; empty without an image.
    QRect SourceRect() const { return m_source; }
    QString ImageString() const;

    QString CursorName() const { return m_cursorName; }
    void SetCursorName(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ResetSource();

    QString m_path;
    QString m_cursorName;
    QImage m_image;
    QRect m_source;
    bool m_dragging = false;
    QPoint m_dragOrigin;
};

}  // namespace ui
