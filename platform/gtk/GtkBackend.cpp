// GtkBackend.cpp: GTK 3 windows, controls laid out at the resource's pixel
// positions, the file chooser, message boxes and help through xdg-open.
#include "platform/gtk/GtkBackend.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "platform/Forms.h"
#include "platform/WindowClaims.h"

namespace {

// The resource's form size is the outer size of a Windows window with a
// sizeable frame; GTK sizes the client area, the decoration is the window
// manager's. Classic Windows metrics: a 4-pixel frame, a 19-pixel caption.
constexpr int kFrameWidth = 4;
constexpr int kCaptionHeight = 19;

// Small controls at the resource's sizes: GTK's theme pads buttons and
// entries beyond 25 and 20 pixels, and the dialog's font is 12 pixels high.
constexpr const char* kCompactCss =
    "* { font-size: 12px; }\n"
    "button { min-height: 0; min-width: 0; padding: 0 4px; }\n"
    "entry { min-height: 0; padding: 0 3px; }\n"
    "checkbutton { padding: 0; }\n";

GtkCssProvider* compactStyle()
{
    static GtkCssProvider* provider = [] {
        GtkCssProvider* made = gtk_css_provider_new();
        gtk_css_provider_load_from_data(made, kCompactCss, -1, nullptr);
        return made;
    }();
    return provider;
}

void applyCompactStyle(GtkWidget* widget)
{
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(compactStyle()),
        GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* child = children; child != nullptr; child = child->next)
            applyCompactStyle(GTK_WIDGET(child->data));
        g_list_free(children);
    }
}

gboolean matchesFilter(const GtkFileFilterInfo* info, gpointer data)
{
    const auto* patterns = static_cast<const std::vector<std::string>*>(data);
    if (info->display_name == nullptr)
        return FALSE;
    for (const std::string& pattern : *patterns)
        if (MatchesFilterPattern(info->display_name, pattern))
            return TRUE;
    return FALSE;
}

void deletePatterns(gpointer data)
{
    delete static_cast<std::vector<std::string>*>(data);
}

}  // namespace

// ---- the controls ----

class TGtkBackend::View : public TDialogView {
public:
    View(TGtkBackend& backend, TForm& form, GtkWindow* window, const TDialogResource& resource)
        : backend_(backend), form_(form), window_(window)
    {
        GtkWidget* fixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(window_), fixed);
        clientWidth_ = std::max(form.Width - 2 * kFrameWidth, 0);
        clientHeight_ = std::max(form.Height - 2 * kFrameWidth - kCaptionHeight, 0);
        gtk_widget_set_size_request(fixed, clientWidth_, clientHeight_);

        // Frames first, so that GtkFixed draws them under the controls.
        for (const TControlResource& control : resource)
            if (control.Kind == TControlKind::Panel || control.Kind == TControlKind::GroupBox)
                Build(control, fixed);
        for (const TControlResource& control : resource)
            if (control.Kind != TControlKind::Panel && control.Kind != TControlKind::GroupBox)
                Build(control, fixed);
        applyCompactStyle(fixed);

        for (const TControlResource* control : TabSequence(resource))
            if (GtkWidget* widget = Widget(control->Name); widget != nullptr) {
                firstFocus_ = widget;
                break;
            }
        for (const TControlResource& control : resource) {
            if (control.Kind != TControlKind::Button)
                continue;
            if (control.Default) {
                gtk_widget_set_can_default(Widget(control.Name), TRUE);
                gtk_widget_grab_default(Widget(control.Name));
            }
            if (control.Cancel && cancelButton_.empty())
                cancelButton_ = control.Name;
        }
        g_signal_connect(window_, "key-press-event", G_CALLBACK(&View::OnKeyPress), this);
    }

    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    GtkWidget* FirstFocus() const { return firstFocus_; }

    std::string Text(const std::string& control) const override
    {
        const Entry& entry = Find(control);
        if (entry.resource.Kind == TControlKind::Edit)
            return gtk_entry_get_text(GTK_ENTRY(entry.widget));
        return entry.resource.Text;
    }

    void SetText(const std::string& control, const std::string& text) override
    {
        Entry& entry = Find(control);
        if (entry.resource.Kind == TControlKind::Edit)
            gtk_entry_set_text(GTK_ENTRY(entry.widget), text.c_str());
        else if (entry.resource.Kind == TControlKind::GroupBox)
            gtk_frame_set_label(GTK_FRAME(entry.widget), text.empty() ? nullptr : StripMnemonic(text).c_str());
        else if (entry.resource.Kind == TControlKind::Button || entry.resource.Kind == TControlKind::CheckBox)
            gtk_button_set_label(GTK_BUTTON(entry.widget), TranslateMnemonic(text, '_').c_str());
        entry.resource.Text = text;
    }

    bool Checked(const std::string& control) const override
    {
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(CheckBox(control).widget));
    }

    void SetChecked(const std::string& control, bool checked) override
    {
        // Only the user's clicks are clicks.
        const Entry& entry = CheckBox(control);
        settingState_ = true;
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(entry.widget), checked ? TRUE : FALSE);
        settingState_ = false;
    }

    std::optional<std::string> RunOpenDialog(const TOpenDialog& dialog) override
    {
        GtkWidget* chooser = gtk_file_chooser_dialog_new("開く", window_, GTK_FILE_CHOOSER_ACTION_OPEN,
            "キャンセル", GTK_RESPONSE_CANCEL, "開く(_O)", GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
        gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
        gtk_file_chooser_set_local_only(files, TRUE);
        gtk_file_chooser_set_select_multiple(files, FALSE);
        const std::vector<TFileFilter> filters = ParseFilter(dialog.Filter);
        for (size_t i = 0; i < filters.size(); ++i) {
            GtkFileFilter* filter = gtk_file_filter_new();
            gtk_file_filter_set_name(filter, filters[i].Description.c_str());
            // Windows wildcards, matched as Windows does (any letter case; "*.*" is everything).
            gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_DISPLAY_NAME, &matchesFilter,
                new std::vector<std::string>(filters[i].Patterns), &deletePatterns);
            gtk_file_chooser_add_filter(files, filter);
            if (static_cast<int>(i) + 1 == dialog.FilterIndex || (i == 0 && dialog.FilterIndex < 1))
                gtk_file_chooser_set_filter(files, filter);
        }
        // Like the Windows dialog: the previous choice, else the initial
        // folder, else the current directory (GTK would start in its "Recent").
        if (!dialog.FileName.empty()) {
            gtk_file_chooser_set_filename(files, dialog.FileName.c_str());
        } else {
            gchar* current = g_get_current_dir();
            gtk_file_chooser_set_current_folder(files, dialog.InitialDir.empty() ? current : dialog.InitialDir.c_str());
            g_free(current);
        }
        gtk_window_set_default_size(GTK_WINDOW(chooser), 640, 420);
        gtk_window_set_position(GTK_WINDOW(chooser), GTK_WIN_POS_CENTER_ON_PARENT);

        std::optional<std::string> chosen;
        while (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
            gchar* name = gtk_file_chooser_get_filename(files);
            const std::string path = name != nullptr ? name : "";
            g_free(name);
            gchar* folder = g_path_get_dirname(path.c_str());
            const bool folderThere = g_file_test(folder, G_FILE_TEST_IS_DIR) != FALSE;
            g_free(folder);
            const bool fileThere = !path.empty() && g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) != FALSE;
            if (!path.empty() && (!dialog.PathMustExist || folderThere) && (!dialog.FileMustExist || fileThere)) {
                chosen = path;
                break;
            }
            // The chooser stays open, as the Windows one does, until the name is right.
            backend_.ShowMessageBox(path + "\nファイルが見つかりません。\nファイル名を確認してください。", "開く",
                TMessageKind::Information);
        }
        gtk_widget_destroy(chooser);
        return chosen;
    }

private:
    struct Entry {
        TControlResource resource;
        GtkWidget* widget = nullptr;
        int left = 0;  // in the window's client area
        int top = 0;
        int width = 0;
        int height = 0;
    };

    Entry& Find(const std::string& control)
    {
        const auto found = entries_.find(control);
        if (found == entries_.end())
            throw std::invalid_argument("no control named " + control);
        return found->second;
    }
    const Entry& Find(const std::string& control) const { return const_cast<View*>(this)->Find(control); }
    const Entry& CheckBox(const std::string& control) const
    {
        const Entry& entry = Find(control);
        if (entry.resource.Kind != TControlKind::CheckBox)
            throw std::invalid_argument(control + " is no check box");
        return entry;
    }
    GtkWidget* Widget(const std::string& control)
    {
        const auto found = entries_.find(control);
        return found == entries_.end() ? nullptr : found->second.widget;
    }

    void Build(const TControlResource& control, GtkWidget* fixed)
    {
        Entry entry{control, nullptr, 0, 0, control.Width, control.Height};
        int parentLeft = 0;
        int parentTop = 0;
        int parentWidth = clientWidth_;
        int parentHeight = clientHeight_;
        if (!control.Parent.empty()) {
            const Entry& parent = Find(control.Parent);
            parentLeft = parent.left;
            parentTop = parent.top;
            parentWidth = parent.width;
            parentHeight = parent.height;
        }
        if (control.AlignBottom) {
            entry.left = parentLeft;
            entry.top = parentTop + parentHeight - control.Height;
            entry.width = parentWidth;
        } else {
            entry.left = parentLeft + control.Left;
            entry.top = parentTop + control.Top;
        }

        switch (control.Kind) {
        case TControlKind::Panel:
            if (control.RaisedBevel) {
                entry.widget = gtk_frame_new(nullptr);
                gtk_frame_set_shadow_type(GTK_FRAME(entry.widget), GTK_SHADOW_OUT);
            }
            break;
        case TControlKind::GroupBox:
            entry.widget = gtk_frame_new(control.Text.empty() ? nullptr : StripMnemonic(control.Text).c_str());
            gtk_frame_set_shadow_type(GTK_FRAME(entry.widget), GTK_SHADOW_ETCHED_IN);
            break;
        case TControlKind::Edit:
            entry.widget = gtk_entry_new();
            gtk_entry_set_width_chars(GTK_ENTRY(entry.widget), 1);
            gtk_entry_set_text(GTK_ENTRY(entry.widget), control.Text.c_str());
            gtk_editable_set_editable(GTK_EDITABLE(entry.widget), control.ReadOnly ? FALSE : TRUE);
            gtk_entry_set_activates_default(GTK_ENTRY(entry.widget), TRUE);
            break;
        case TControlKind::Button:
            entry.widget = gtk_button_new_with_mnemonic(TranslateMnemonic(control.Text, '_').c_str());
            g_signal_connect(entry.widget, "clicked", G_CALLBACK(&View::OnClicked), this);
            break;
        case TControlKind::CheckBox:
            entry.widget = gtk_check_button_new_with_mnemonic(TranslateMnemonic(control.Text, '_').c_str());
            g_signal_connect(entry.widget, "clicked", G_CALLBACK(&View::OnClicked), this);
            break;
        }
        if (entry.widget != nullptr) {
            gtk_widget_set_name(entry.widget, control.Name.c_str());
            gtk_widget_set_size_request(entry.widget, entry.width, entry.height);
            gtk_fixed_put(GTK_FIXED(fixed), entry.widget, entry.left, entry.top);
        }
        entries_[control.Name] = std::move(entry);
    }

    // GTK calls these while it dispatches; the form's handlers run later,
    // from the application's loop, when no GTK signal is being emitted.
    static void OnClicked(GtkWidget* widget, gpointer data)
    {
        auto* view = static_cast<View*>(data);
        if (view->settingState_)
            return;
        view->PostClick(gtk_widget_get_name(widget));
    }

    static gboolean OnKeyPress(GtkWidget* /*window*/, GdkEventKey* event, gpointer data)
    {
        auto* view = static_cast<View*>(data);
        const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
        if (event->keyval == GDK_KEY_Escape && modifiers == 0 && !view->cancelButton_.empty()) {
            view->PostClick(view->cancelButton_);
            return TRUE;
        }
        // Enter is GTK's own: it activates the focused button, else the default one.
        return FALSE;
    }

    void PostClick(const std::string& control)
    {
        if (backend_.app_ == nullptr)
            return;
        TForm* form = &form_;
        backend_.app_->Post([form, control] { form->DispatchControlClick(control); });
    }

    TGtkBackend& backend_;
    TForm& form_;
    GtkWindow* window_;
    std::map<std::string, Entry> entries_;
    GtkWidget* firstFocus_ = nullptr;
    std::string cancelButton_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool settingState_ = false;
};

// ---- the windows ----

class TGtkBackend::Window : public TNativeWindow {
public:
    Window(TGtkBackend& backend, TForm& form)
        : backend_(backend), form_(form), claim_(ClaimWindowClass(form.ClassName()))
    {
        widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_signal_connect(widget_, "delete-event", G_CALLBACK(&Window::OnDelete), this);
        backend_.windows_.push_back(this);
    }

    ~Window() override
    {
        std::erase(backend_.windows_, this);
        view_.reset();
        gtk_widget_destroy(widget_);
    }

    void Show() override
    {
        GtkWindow* window = GTK_WINDOW(widget_);
        gtk_window_set_title(window, form_.Caption.c_str());
        gtk_window_set_resizable(window, form_.BorderStyle == TFormBorderStyle::bsSizeable ? TRUE : FALSE);
        gtk_window_set_keep_above(window, form_.FormStyle == TFormStyle::fsStayOnTop ? TRUE : FALSE);
        if (form_.BorderStyle == TFormBorderStyle::bsNone)
            gtk_window_set_decorated(window, FALSE);
        const int width = view_ ? view_->ClientWidth() : form_.Width;
        const int height = view_ ? view_->ClientHeight() : form_.Height;
        gtk_window_set_default_size(window, std::max(width, 1), std::max(height, 1));
        if (form_.Position == TPosition::poScreenCenter)
            gtk_window_set_position(window, GTK_WIN_POS_CENTER);
        else
            gtk_window_move(window, form_.Left, form_.Top);
        gtk_widget_show_all(widget_);
        if (view_ && view_->FirstFocus() != nullptr)
            gtk_widget_grab_focus(view_->FirstFocus());
        gtk_window_present(window);
    }

    // This backend serves dialogs: the show's pictures are another backend's.
    void Present(const TBitmap& /*bitmap*/, const TRect& /*rect*/) override {}
    void Invalidate() override { gtk_widget_queue_draw(widget_); }
    void BringToFront() override { gtk_window_present(GTK_WINDOW(widget_)); }

    TDialogView* CreateControls(const TDialogResource& resource) override
    {
        view_ = std::make_unique<View>(backend_, form_, GTK_WINDOW(widget_), resource);
        return view_.get();
    }

    GtkWidget* Widget() const { return widget_; }
    bool Visible() const { return gtk_widget_get_visible(widget_) != FALSE; }

private:
    // The window manager's close button closes the form, from the loop.
    static gboolean OnDelete(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer data)
    {
        auto* self = static_cast<Window*>(data);
        if (self->backend_.app_ != nullptr) {
            TForm* form = &self->form_;
            self->backend_.app_->Post([form] { form->Close(); });
        }
        return TRUE;  // the window goes when the form has closed
    }

    TGtkBackend& backend_;
    TForm& form_;
    std::unique_ptr<TWindowClaim> claim_;
    GtkWidget* widget_ = nullptr;
    std::unique_ptr<View> view_;
};

// ---- the backend ----

std::unique_ptr<TGtkBackend> TGtkBackend::Open()
{
    // Without a session bus the file chooser's preferences cannot be kept:
    // hold them in memory rather than have GSettings try to start a bus.
    const char* runtimeDir = g_getenv("XDG_RUNTIME_DIR");
    gchar* busSocket = g_build_filename(runtimeDir != nullptr ? runtimeDir : "/nonexistent", "bus", nullptr);
    const bool bus = g_getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr || g_file_test(busSocket, G_FILE_TEST_EXISTS);
    g_free(busSocket);
    if (!bus)
        g_setenv("GSETTINGS_BACKEND", "memory", FALSE);
    if (gtk_init_check(nullptr, nullptr) == FALSE)
        return nullptr;
    return std::unique_ptr<TGtkBackend>(new TGtkBackend());
}

TGtkBackend::~TGtkBackend()
{
    // Let GTK finish what destroyed windows left to do.
    while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
    }
}

std::unique_ptr<TNativeWindow> TGtkBackend::CreateNativeWindow(TForm& form)
{
    return std::make_unique<Window>(*this, form);
}

bool TGtkBackend::WindowClassExists(const std::string& className)
{
    return WindowClassClaimed(className);
}

int64_t TGtkBackend::NowMs()
{
    return g_get_monotonic_time() / 1000;
}

namespace {
gboolean markFired(gpointer data)
{
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}
}  // namespace

void TGtkBackend::WaitEvents(std::optional<int64_t> deadlineMs)
{
    if (woken_.exchange(false))
        return;
    bool fired = false;
    guint deadline = 0;
    if (deadlineMs) {
        const int64_t wait = *deadlineMs - NowMs();
        if (wait <= 0) {
            g_main_context_iteration(nullptr, FALSE);
            return;
        }
        deadline = g_timeout_add(static_cast<guint>(std::min<int64_t>(wait, G_MAXUINT)), &markFired, &fired);
    }
    // Returns after GTK dispatched something, the deadline passed, or Wakeup
    // (g_main_context_wakeup is kept for the next iteration when none runs).
    g_main_context_iteration(nullptr, TRUE);
    if (deadline != 0 && !fired)
        g_source_remove(deadline);
    woken_ = false;
}

void TGtkBackend::Wakeup()
{
    woken_ = true;
    g_main_context_wakeup(nullptr);
}

void* TGtkBackend::TopWindow() const
{
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if ((*it)->Visible())
            return (*it)->Widget();
    return nullptr;
}

void TGtkBackend::ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind)
{
    GtkWindow* parent = TopWindow() != nullptr ? GTK_WINDOW(TopWindow()) : nullptr;
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL,
        kind == TMessageKind::Error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(box), parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void TGtkBackend::ShowHelp(const std::string& helpFile, int /*context*/)
{
    const std::string title = app_ != nullptr ? app_->Title() : std::string();
    if (helpFile.empty() || g_file_test(helpFile.c_str(), G_FILE_TEST_IS_REGULAR) == FALSE) {
        ShowMessageBox("ヘルプファイル " + helpFile + " が見つかりません", title, TMessageKind::Information);
        return;
    }
    // The viewer runs on its own; the dialog does not wait for it.
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(helpFile.c_str()), nullptr};
    GError* error = nullptr;
    if (g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &error) == FALSE) {
        const std::string reason = error != nullptr ? error->message : "";
        g_clear_error(&error);
        ShowMessageBox("ヘルプファイル " + helpFile + " を開けません: " + reason, title, TMessageKind::Information);
    }
}

TScreenSize TGtkBackend::ScreenSize()
{
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr)
        return {};
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr)
        monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr)
        return {};
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    return {area.width, area.height};
}
