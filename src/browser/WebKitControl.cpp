#include "browser/WebKitControl.h"

#include "browser/AppErrors.h"
#include "browser/StartPage.h"
#include "browser/UrlCompletion.h"

#include <gtkmm/filechooserdialog.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>
#include <webkit2/webkit2.h>

#include <string>

namespace browser {

namespace {

std::string Text(const char* s) { return s ? s : ""; }

GtkWindow* ToplevelOf(WebKitWebView* view) {
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view));
    return (top && gtk_widget_is_toplevel(top) && GTK_IS_WINDOW(top)) ? GTK_WINDOW(top) : nullptr;
}

// A failure reported after the operation had already returned: nothing is
// left to raise the error to, so it goes to the user directly.
void ReportAsync(const char* what, GError* error) {
    std::string message = what;
    if (error) message += std::string(": ") + error->message;
    ShowErrorMessage(message);
}

void SavedMhtml(GObject* source, GAsyncResult* result, gpointer) {
    GError* error = nullptr;
    if (!webkit_web_view_save_to_file_finish(WEBKIT_WEB_VIEW(source), result, &error)) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) ReportAsync("The page was not saved", error);
        g_error_free(error);
    }
}

void GotHtml(GObject* source, GAsyncResult* result, gpointer data) {
    GFile* file = static_cast<GFile*>(data);
    GError* error = nullptr;
    gsize length = 0;
    guchar* bytes = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, &error);
    if (!bytes) {
        ReportAsync("The page was not saved", error);
        if (error) g_error_free(error);
    } else {
        if (!g_file_replace_contents(file, reinterpret_cast<const char*>(bytes), length, nullptr, FALSE,
                                     G_FILE_CREATE_NONE, nullptr, nullptr, &error)) {
            ReportAsync("The page was not saved", error);
            g_error_free(error);
        }
        g_free(bytes);
    }
    g_object_unref(file);
}

// Print operations live until the engine is done with them.
void ReleaseWhenFinished(WebKitPrintOperation* op) {
    g_signal_connect(op, "finished", G_CALLBACK(+[](WebKitPrintOperation* o, gpointer) {
                         g_idle_add([](gpointer p) { g_object_unref(p); return G_SOURCE_REMOVE; }, o);
                     }), nullptr);
}

void PreviewFinished(WebKitPrintOperation* op, gpointer data) {
    if (g_object_get_data(G_OBJECT(op), "qel-failed")) return;
    char* uri = static_cast<char*>(data);
    GError* error = nullptr;
    if (!gtk_show_uri_on_window(nullptr, uri, GDK_CURRENT_TIME, &error)) {
        ReportAsync("The print preview cannot be shown", error);
        g_error_free(error);
    }
}

void PrintFailed(WebKitPrintOperation* op, GError* error, gpointer) {
    g_object_set_data(G_OBJECT(op), "qel-failed", GINT_TO_POINTER(1));
    ReportAsync("Printing failed", error);
}

} // namespace

struct WebKitControl::Signals {
    static gboolean DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            WebKitURIRequest* request = webkit_navigation_action_get_request(action);
            // The window only watches; a navigation is never cancelled here.
            RunGuarded([&] { c->FireBeforeNavigate2(Text(webkit_uri_request_get_uri(request))); });
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
            // One window only: a link aimed at a new window opens in this one.
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            WebKitURIRequest* request = webkit_navigation_action_get_request(action);
            webkit_web_view_load_request(view, request);
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        return FALSE;
    }

    static void LoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string uri = Text(webkit_web_view_get_uri(view));
        switch (event) {
        case WEBKIT_LOAD_STARTED:
            c->stateText_ = "Opening page " + uri + " ...";
            break;
        case WEBKIT_LOAD_REDIRECTED:
            c->stateText_ = "Redirecting to " + uri + " ...";
            break;
        case WEBKIT_LOAD_COMMITTED:
            c->stateText_ = "Loading " + uri + " ...";
            c->ReportHistory();
            break;
        case WEBKIT_LOAD_FINISHED:
            c->stateText_ = "Done";
            RunGuarded([&] { c->FireDocumentComplete(uri); });
            break;
        }
        c->ShowStateStatus();
    }

    static gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent, char* uri, GError* error, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (!g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED))
            c->stateText_ = Text(uri) + ": " + Text(error ? error->message : nullptr);
        c->ShowStateStatus();
        return FALSE;  // the engine shows its own error page
    }

    static void TitleChanged(WebKitWebView* view, GParamSpec*, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string title = Text(webkit_web_view_get_title(view));
        // The engine clears the title when a new document commits, and some
        // documents have none: the caption then names the document instead.
        if (title.empty()) title = Text(webkit_web_view_get_uri(view));
        RunGuarded([&] { c->FireTitleChange(title); });
    }

    static void LoadingChanged(WebKitWebView* view, GParamSpec*, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        bool loading = webkit_web_view_is_loading(view);
        RunGuarded([&] { c->FireCommandStateChange(CSC_UPDATECOMMANDS, loading); });
    }

    static void MouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        c->hoveredLink_ = webkit_hit_test_result_context_is_link(hit) ? Text(webkit_hit_test_result_get_link_uri(hit))
                                                                       : std::string();
        c->ShowStateStatus();
    }

    static void HistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer, gpointer self) {
        static_cast<WebKitControl*>(self)->ReportHistory();
    }
};

WebKitControl::WebKitControl() {
    WebKitWebContext* context = webkit_web_context_get_default();
    RegisterStartPage(context);
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
    g_object_ref_sink(view_);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(Signals::DecidePolicy), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(Signals::LoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(Signals::LoadFailed), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(Signals::TitleChanged), this);
    g_signal_connect(view_, "notify::is-loading", G_CALLBACK(Signals::LoadingChanged), this);
    g_signal_connect(view_, "mouse-target-changed", G_CALLBACK(Signals::MouseTarget), this);
    historySignal_ = g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed",
                                      G_CALLBACK(Signals::HistoryChanged), this);
    widget_ = Glib::wrap(GTK_WIDGET(view_));
}

WebKitControl::~WebKitControl() {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handler_disconnect(webkit_web_view_get_back_forward_list(view_), historySignal_);
    if (printSettings_) g_object_unref(printSettings_);
    if (pageSetup_) g_object_unref(pageSetup_);
    g_object_unref(view_);
}

Gtk::Widget& WebKitControl::Widget() { return *widget_; }

void WebKitControl::Navigate(const std::string& url, const platform::TVariant&, const platform::TVariant&,
                             const platform::TVariant&, const platform::TVariant&) {
    webkit_web_view_load_uri(view_, CompleteUrl(url).c_str());
}

void WebKitControl::GoBack() {
    if (!webkit_web_view_can_go_back(view_)) throw EWebControl("There is no previous page in the history.");
    webkit_web_view_go_back(view_);
}

void WebKitControl::GoForward() {
    if (!webkit_web_view_can_go_forward(view_)) throw EWebControl("There is no next page in the history.");
    webkit_web_view_go_forward(view_);
}

void WebKitControl::Refresh2(const platform::TVariant&) { webkit_web_view_reload(view_); }

void WebKitControl::Stop() { webkit_web_view_stop_loading(view_); }

bool WebKitControl::Busy() { return webkit_web_view_is_loading(view_); }

std::string WebKitControl::LocationURL() { return Text(webkit_web_view_get_uri(view_)); }

void WebKitControl::ExecWB(int command, int) {
    switch (command) {
    case OLECMDID_SAVEAS: SaveAs(); break;
    case OLECMDID_PRINT: Print(); break;
    case OLECMDID_PRINTPREVIEW: PrintPreview(); break;
    case OLECMDID_PAGESETUP: PageSetup(); break;
    default: throw EWebControl("The command " + std::to_string(command) + " is not supported.");
    }
}

void WebKitControl::SetStatus(const std::string& text) {
    if (text == statusText_) return;
    statusText_ = text;
    RunGuarded([&] { FireStatusTextChange(text); });
}

void WebKitControl::ShowStateStatus() { SetStatus(hoveredLink_.empty() ? stateText_ : hoveredLink_); }

void WebKitControl::ReportHistory() {
    bool forward = webkit_web_view_can_go_forward(view_);
    bool back = webkit_web_view_can_go_back(view_);
    RunGuarded([&] {
        FireCommandStateChange(CSC_NAVIGATEFORWARD, forward);
        FireCommandStateChange(CSC_NAVIGATEBACK, back);
    });
}

void WebKitControl::SaveAs() {
    if (!webkit_web_view_get_uri(view_)) throw EWebControl("There is no page to save.");
    GtkWindow* parent = ToplevelOf(view_);
    Gtk::FileChooserDialog dialog("Save page", Gtk::FILE_CHOOSER_ACTION_SAVE);
    if (parent) dialog.set_transient_for(*Glib::wrap(parent));
    dialog.set_modal(true);
    dialog.add_button("_Cancel", Gtk::RESPONSE_CANCEL);
    dialog.add_button("_Save", Gtk::RESPONSE_ACCEPT);
    dialog.set_default_response(Gtk::RESPONSE_ACCEPT);
    dialog.set_do_overwrite_confirmation(true);
    auto archive = Gtk::FileFilter::create();
    archive->set_name("Web archive, single file (*.mhtml)");
    archive->add_pattern("*.mhtml");
    archive->add_pattern("*.mht");
    auto html = Gtk::FileFilter::create();
    html->set_name("Web page, HTML only (*.html)");
    html->add_pattern("*.html");
    html->add_pattern("*.htm");
    dialog.add_filter(archive);
    dialog.add_filter(html);
    std::string title = Text(webkit_web_view_get_title(view_));
    if (title.empty()) title = "page";
    for (char& ch : title)
        if (ch == '/') ch = '_';
    dialog.set_current_name(title + ".mhtml");
    if (dialog.run() != Gtk::RESPONSE_ACCEPT) return;
    std::string path = dialog.get_filename();
    bool htmlOnly = dialog.get_filter() == html;
    dialog.hide();
    GFile* file = g_file_new_for_path(path.c_str());
    if (htmlOnly) {
        WebKitWebResource* resource = webkit_web_view_get_main_resource(view_);
        if (!resource) {
            g_object_unref(file);
            throw EWebControl("There is no page to save.");
        }
        webkit_web_resource_get_data(resource, nullptr, GotHtml, file);  // the callback owns file
    } else {
        webkit_web_view_save_to_file(view_, file, WEBKIT_SAVE_MODE_MHTML, nullptr, SavedMhtml, nullptr);
        g_object_unref(file);
    }
}

void WebKitControl::Print() {
    WebKitPrintOperation* op = webkit_print_operation_new(view_);
    if (printSettings_) webkit_print_operation_set_print_settings(op, printSettings_);
    if (pageSetup_) webkit_print_operation_set_page_setup(op, pageSetup_);
    g_signal_connect(op, "failed", G_CALLBACK(PrintFailed), nullptr);
    WebKitPrintOperationResponse response = webkit_print_operation_run_dialog(op, ToplevelOf(view_));
    if (response == WEBKIT_PRINT_OPERATION_RESPONSE_PRINT) {
        // Later prints start from what the user chose this time.
        if (printSettings_) g_object_unref(printSettings_);
        printSettings_ = GTK_PRINT_SETTINGS(g_object_ref(webkit_print_operation_get_print_settings(op)));
        if (pageSetup_) g_object_unref(pageSetup_);
        pageSetup_ = GTK_PAGE_SETUP(g_object_ref(webkit_print_operation_get_page_setup(op)));
        ReleaseWhenFinished(op);
    } else {
        g_object_unref(op);
    }
}

void WebKitControl::PrintPreview() {
    // The print dialog has no preview of its own: print to a PDF file and let
    // the desktop's viewer show it.
    char* dir = g_dir_make_tmp("qelpreview-XXXXXX", nullptr);
    if (!dir) throw EWebControl("No temporary folder for the print preview.");
    char* path = g_build_filename(dir, "preview.pdf", nullptr);
    char* uri = g_filename_to_uri(path, nullptr, nullptr);
    g_free(path);
    g_free(dir);
    GtkPrintSettings* settings =
        printSettings_ ? gtk_print_settings_copy(printSettings_) : gtk_print_settings_new();
    // The file printer carries a translated name.
    gtk_print_settings_set_printer(settings, g_dgettext("gtk30", "Print to File"));
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
    WebKitPrintOperation* op = webkit_print_operation_new(view_);
    webkit_print_operation_set_print_settings(op, settings);
    if (pageSetup_) webkit_print_operation_set_page_setup(op, pageSetup_);
    g_signal_connect(op, "failed", G_CALLBACK(PrintFailed), nullptr);
    g_signal_connect_data(op, "finished", G_CALLBACK(PreviewFinished), uri,
                          [](gpointer data, GClosure*) { g_free(data); }, GConnectFlags(0));
    ReleaseWhenFinished(op);
    webkit_print_operation_print(op);
    g_object_unref(settings);
}

void WebKitControl::PageSetup() {
    GtkPageSetup* chosen = gtk_print_run_page_setup_dialog(ToplevelOf(view_), pageSetup_,
                                                            printSettings_ ? printSettings_ : nullptr);
    if (!chosen) return;
    if (pageSetup_) g_object_unref(pageSetup_);
    pageSetup_ = chosen;
}

} // namespace browser
