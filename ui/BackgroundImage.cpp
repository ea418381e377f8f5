#include "ui/BackgroundImage.h"

#include <QFileInfo>
#include <QImageReader>

namespace ui {

namespace {
// What one decode may allocate, in megabytes (a picture of kMaxPixels at four bytes a pixel).
constexpr int kAllocationLimitMb = 160;
}

BackgroundImage BackgroundImage::Load(const QString& path, QSize target)
{
    BackgroundImage result;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        result.failure = Missing;
        return result;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kAllocationLimitMb);
    if (!reader.canRead()) {
        result.failure = info.isReadable() ? NotImage : Unreadable;
        return result;
    }
    const QSize size = reader.size();
    result.fileSize = size;
    if (size.isValid()) {
        if (size.width() > kMaxSide || size.height() > kMaxSide ||
            qint64(size.width()) * size.height() > kMaxPixels) {
            result.failure = TooLarge;
            return result;
        }
        if (target.isValid() && size.width() > target.width() && size.height() > target.height())
            reader.setScaledSize(size.scaled(target, Qt::KeepAspectRatioByExpanding));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        result.failure = Unreadable;
        return result;
    }
    // A file that declared no size is held to the same bounds once decoded.
    if (image.width() > kMaxSide || image.height() > kMaxSide) {
        result.failure = TooLarge;
        return result;
    }
    result.image = std::move(image);
    return result;
}

}  // namespace ui
