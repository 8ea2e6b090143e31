// PictureBudget.cpp: the decoded bytes the pictures of one show may take.
#include <string>

#include "platform/Exceptions.h"
#include "platform/ImageFiles.h"

namespace {
// The innermost live budget of this thread; pictures decode on the thread
// that loads them.
thread_local TPictureBudget* current = nullptr;

constexpr int64_t kBytesPerPixel = 4;
}  // namespace

TPictureBudget::TPictureBudget(int64_t bytes) : limit_(bytes), outer_(current)
{
    current = this;
}

TPictureBudget::~TPictureBudget()
{
    current = outer_;
}

void TPictureBudget::Charge(int64_t width, int64_t height)
{
    if (current == nullptr || width <= 0 || height <= 0)
        return;
    // Each side is within the readers' limits by now: no overflow.
    const int64_t bytes = width * height * kBytesPerPixel;
    if (bytes > current->limit_ - current->used_)
        throw EShowTooLarge("its pictures would take more than " + std::to_string(current->limit_ / (1024 * 1024))
                            + " MiB decoded, the most one show may take");
    current->used_ += bytes;
}
