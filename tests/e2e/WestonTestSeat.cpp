// A Weston module for the end-to-end tests: a seat with a keyboard and a pointer that a test
// drives through Weston's standard input, as a person types and drags. Weston's headless backend
// has no input devices of its own, and Weston ships no protocol through which a client may type
// into another client, so the input enters the compositor where a backend's devices would.
//
// Commands, one a line on standard input:
//   key CODE       presses and releases the key of that evdev code (2 = "1", 3 = "2", ...)
//   close          asks the window with the keyboard focus to close, as a window's close button does
//   pointer X Y    moves the pointer to (X, Y) on the screen
//   button down    presses the left button; `button up` releases it
//   where          reports where the window with the keyboard focus is
//   grab           reports whether the compositor holds the pointer (a move it was asked for)
// Reports, one a line on standard output:
//   seat: ready          the seat exists and takes commands
//   seat: focus TITLE    the keyboard focus went to the window of that title (empty: to none)
//   seat: window X Y     the top left corner of the window with the keyboard focus, on the screen
//   seat: grab yes|no    whether the pointer is held by the compositor or goes to the windows
//   seat: ERROR ...      a command that was not understood or could not be carried out
//
// Load it with `weston --modules=PATH`.
#include <cstdio>
#include <ctime>
#include <libweston-desktop/libweston-desktop.h>
#include <libweston/libweston.h>
#include <linux/input-event-codes.h>
#include <string>
#include <unistd.h>
#include <wayland-server-core.h>

// The seat, keyboard and pointer functions that Weston's own backends and test module use.
// libweston exports them, its installed headers do not declare them.
extern "C" {
void weston_seat_init(struct weston_seat* seat, struct weston_compositor* compositor, const char* name);
int weston_seat_init_keyboard(struct weston_seat* seat, struct xkb_keymap* keymap);
void weston_seat_init_pointer(struct weston_seat* seat);
void weston_seat_release(struct weston_seat* seat);
void notify_key(struct weston_seat* seat, const struct timespec* time, uint32_t key, enum wl_keyboard_key_state state,
    enum weston_key_state_update update);
void notify_motion_absolute(struct weston_seat* seat, const struct timespec* time, double x, double y);
void notify_button(
    struct weston_seat* seat, const struct timespec* time, int32_t button, enum wl_pointer_button_state state);
void notify_pointer_frame(struct weston_seat* seat);
int wet_module_init(struct weston_compositor* compositor, int* argc, char* argv[]);
}

namespace {

struct TestSeat {
    weston_seat seat {};
    wl_event_source* input = nullptr;
    wl_listener focusChanged {};
    wl_listener compositorDestroyed {};
    std::string pending;
};

void report(const std::string& line)
{
    std::printf("seat: %s\n", line.c_str());
    std::fflush(stdout);
}

weston_desktop_surface* focusedWindow(TestSeat& test)
{
    weston_keyboard* keyboard = weston_seat_get_keyboard(&test.seat);
    if (!keyboard || !keyboard->focus || !weston_surface_is_desktop_surface(keyboard->focus))
        return nullptr;
    return weston_surface_get_desktop_surface(keyboard->focus);
}

void onFocusChanged(wl_listener* listener, void*)
{
    TestSeat* test = wl_container_of(listener, test, focusChanged);
    const weston_desktop_surface* window = focusedWindow(*test);
    const char* title
        = window ? weston_desktop_surface_get_title(const_cast<weston_desktop_surface*>(window)) : nullptr;
    report(std::string("focus ") + (title ? title : ""));
}

timespec now()
{
    timespec time {};
    weston_compositor_get_time(&time);
    return time;
}

void pressAndRelease(TestSeat& test, uint32_t code)
{
    const timespec time = now();
    notify_key(&test.seat, &time, code, WL_KEYBOARD_KEY_STATE_PRESSED, STATE_UPDATE_AUTOMATIC);
    notify_key(&test.seat, &time, code, WL_KEYBOARD_KEY_STATE_RELEASED, STATE_UPDATE_AUTOMATIC);
}

// The view of a window that the screen shows: the one in a layer (the shell keeps others for
// its effects).
weston_view* shownView(weston_surface* surface)
{
    weston_view* view = nullptr;
    wl_list_for_each(view, &surface->views, surface_link)
    {
        if (view->layer_link.layer)
            return view;
    }
    return nullptr;
}

void reportWhere(TestSeat& test)
{
    weston_desktop_surface* window = focusedWindow(test);
    const weston_view* view = window ? shownView(weston_desktop_surface_get_surface(window)) : nullptr;
    if (!view) {
        report("ERROR no window has the keyboard focus");
        return;
    }
    report("window " + std::to_string(static_cast<int>(view->geometry.x)) + " "
        + std::to_string(static_cast<int>(view->geometry.y)));
}

void reportGrab(TestSeat& test)
{
    const weston_pointer* pointer = weston_seat_get_pointer(&test.seat);
    report(pointer->grab != &pointer->default_grab ? "grab yes" : "grab no");
}

void carryOut(TestSeat& test, const std::string& command)
{
    unsigned code = 0;
    int x = 0;
    int y = 0;
    const timespec time = now();
    if (std::sscanf(command.c_str(), "key %u", &code) == 1 && code > 0 && code < KEY_MAX) {
        pressAndRelease(test, code);
    } else if (command == "close") {
        if (weston_desktop_surface* window = focusedWindow(test))
            weston_desktop_surface_close(window);
        else
            report("ERROR no window has the keyboard focus");
    } else if (std::sscanf(command.c_str(), "pointer %d %d", &x, &y) == 2) {
        notify_motion_absolute(&test.seat, &time, x, y);
        notify_pointer_frame(&test.seat);
    } else if (command == "button down" || command == "button up") {
        notify_button(&test.seat, &time, BTN_LEFT,
            command == "button down" ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        notify_pointer_frame(&test.seat);
    } else if (command == "where") {
        reportWhere(test);
    } else if (command == "grab") {
        reportGrab(test);
    } else {
        report("ERROR unknown command: " + command);
    }
}

int onInput(int fd, uint32_t mask, void* data)
{
    auto& test = *static_cast<TestSeat*>(data);
    char chunk[256];
    const ssize_t got = (mask & WL_EVENT_READABLE) ? ::read(fd, chunk, sizeof chunk) : 0;
    if (got <= 0) {
        // The test closed its end: no more commands.
        wl_event_source_remove(test.input);
        test.input = nullptr;
        return 0;
    }
    test.pending.append(chunk, static_cast<std::size_t>(got));
    for (std::size_t end; (end = test.pending.find('\n')) != std::string::npos;) {
        const std::string command = test.pending.substr(0, end);
        test.pending.erase(0, end + 1);
        carryOut(test, command);
    }
    return 0;
}

void onCompositorDestroyed(wl_listener* listener, void*)
{
    TestSeat* test = wl_container_of(listener, test, compositorDestroyed);
    if (test->input)
        wl_event_source_remove(test->input);
    wl_list_remove(&test->focusChanged.link);
    weston_seat_release(&test->seat);
    delete test;
}

} // namespace

extern "C" WL_EXPORT int wet_module_init(struct weston_compositor* compositor, int*, char*[])
{
    auto* test = new TestSeat;
    weston_seat_init(&test->seat, compositor, "caltrix-test-seat");
    if (weston_seat_init_keyboard(&test->seat, nullptr) < 0) {
        weston_seat_release(&test->seat);
        delete test;
        std::fprintf(stderr, "the test seat got no keyboard (is xkb-data installed?)\n");
        return -1;
    }
    weston_seat_init_pointer(&test->seat);
    test->focusChanged.notify = onFocusChanged;
    wl_signal_add(&weston_seat_get_keyboard(&test->seat)->focus_signal, &test->focusChanged);
    test->input = wl_event_loop_add_fd(
        wl_display_get_event_loop(compositor->wl_display), STDIN_FILENO, WL_EVENT_READABLE, onInput, test);
    test->compositorDestroyed.notify = onCompositorDestroyed;
    weston_compositor_add_destroy_listener_once(compositor, &test->compositorDestroyed, onCompositorDestroyed);
    report("ready");
    return 0;
}
