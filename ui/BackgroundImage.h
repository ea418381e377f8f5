#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace ui {

// A window background read from a picture file without trusting the file: its size is read
// from the header first, so a huge or lying picture is refused before anything is decoded,
// and the decode itself runs under an allocation limit. Safe on any thread.
struct BackgroundImage {
    enum Failure { None, Missing, NotImage, TooLarge, Unreadable };

    // Largest picture accepted, per side and in all.
    static constexpr int kMaxSide = 8192;
    static constexpr qint64 kMaxPixels = 40'000'000;

    QImage image;
    Failure failure = None;
    QSize fileSize;  // the size the file declares (invalid when it declares none)

    bool ok() const { return failure == None; }
    // Reads `path`; a picture larger than `target` on both sides is decoded scaled down so it
    // still covers `target` (an invalid target keeps the file's size).
    static BackgroundImage Load(const QString& path, QSize target = {});
};

}  // namespace ui
