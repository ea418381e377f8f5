#pragma once

#include <QString>
#include <initializer_list>

namespace ui {

// The answer of a control's GetInterface(name): the control itself when `name` is one of the
// interface names it implements (its own first, then its base's), compared without regard to
// case; null otherwise. Code that holds a plain QWidget asks this before it casts.
template <class T>
T* AnswerInterface(T* self, const QString& name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return self;
    return nullptr;
}

// Resolves an image path a skin attribute names: an absolute path stays as it is, anything else
// is taken from the skin folder. Empty when the file does not exist, so that callers draw
// nothing for a missing image.
QString ResolveSkinImage(const QString& path);

}  // namespace ui
