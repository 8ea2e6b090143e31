// FirstFrameProbe.cpp: preloaded into lurva by bench/lurva-figures.sh, it
// writes the wall-clock time of the first frame the program presents
// ("first-frame <seconds since the epoch>") to the file in
// $LURVA_FIRST_FRAME_FILE, then passes every call on to SDL.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

struct SDL_Window;
struct SDL_Rect;

namespace {

void noteFirstFrame()
{
    static bool noted = false;
    if (noted)
        return;
    noted = true;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (const char* path = std::getenv("LURVA_FIRST_FRAME_FILE")) {
        if (FILE* file = std::fopen(path, "w")) {
            std::fprintf(file, "first-frame %lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
            std::fclose(file);
        }
    }
}

}  // namespace

extern "C" int SDL_UpdateWindowSurfaceRects(SDL_Window* window, const SDL_Rect* rects, int count)
{
    using TReal = int (*)(SDL_Window*, const SDL_Rect*, int);
    static const auto real = reinterpret_cast<TReal>(dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects"));
    noteFirstFrame();
    return real != nullptr ? real(window, rects, count) : -1;
}
