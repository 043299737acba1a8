// Destroys a window from outside, as a window manager's kill or `xdotool windowclose` does:
// waits up to 30 s for a top-level window of the given name on $DISPLAY, then destroys it.
// Exits 0 once it did, 1 when no such window came.

#include <X11/Xlib.h>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

// The program may make its window again while it sets up its display: a window that is gone
// by the time it is destroyed is looked for again.
bool gbMissed = false;
int OnError(Display*, XErrorEvent*)
{
    gbMissed = true;
    return 0;
}

Window FindNamed(Display* display, Window parent, const char* name)
{
    Window root, up, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i)
    {
        char* title = nullptr;
        if (XFetchName(display, children[i], &title) && title != nullptr)
        {
            if (std::strcmp(title, name) == 0)
                found = children[i];
            XFree(title);
        }
        if (found == 0)
            found = FindNamed(display, children[i], name);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: x11_close_window NAME\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
    {
        std::fprintf(stderr, "x11_close_window: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(OnError);
    for (int i = 0; i < 300; ++i)
    {
        if (FindNamed(display, DefaultRootWindow(display), argv[1]) != 0)
        {
            // Let the program finish its set-up and draw some frames first.
            sleep(2);
            if (Window w = FindNamed(display, DefaultRootWindow(display), argv[1]); w != 0)
            {
                gbMissed = false;
                XDestroyWindow(display, w);
                XSync(display, False);
                if (!gbMissed)
                {
                    XCloseDisplay(display);
                    return 0;
                }
            }
        }
        usleep(100000);
    }
    std::fprintf(stderr, "x11_close_window: no window named \"%s\"\n", argv[1]);
    XCloseDisplay(display);
    return 1;
}
