// WebKitControl's documents: saving the page (a web archive or its HTML),
// printing it, a print preview through a PDF the desktop shows, and the
// page setup the later prints start from.
#include "browser/WebKitControl.h"

#include "browser/AppErrors.h"
#include "browser/DesktopViewer.h"
#include "platform/SafeSave.h"

#include <glib/gstdio.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/window.h>
#include <webkit2/webkit2.h>

#include <memory>
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

// The saved page goes through the program's one whole-file save: a link
// stays a link, the file's mode and owner stay, and a failure leaves the old
// file as it was.
void SaveBytes(const std::string& path, const void* data, size_t size) {
    try {
        platform::WriteWholeFile(path, data, size);
    } catch (const std::exception& e) {
        ShowErrorMessage(std::string("The page was not saved: ") + e.what());
    }
}

void SavedMhtml(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::string> path(static_cast<std::string*>(data));
    GError* error = nullptr;
    GInputStream* in = webkit_web_view_save_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (!in) {
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) ReportAsync("The page was not saved", error);
        if (error) g_error_free(error);
        return;
    }
    GOutputStream* out = g_memory_output_stream_new_resizable();
    if (g_output_stream_splice(out, in, GOutputStreamSpliceFlags(G_OUTPUT_STREAM_SPLICE_CLOSE_SOURCE |
                                                                 G_OUTPUT_STREAM_SPLICE_CLOSE_TARGET),
                               nullptr, &error) < 0) {
        ReportAsync("The page was not saved", error);
        g_error_free(error);
    } else {
        auto* memory = G_MEMORY_OUTPUT_STREAM(out);
        SaveBytes(*path, g_memory_output_stream_get_data(memory), g_memory_output_stream_get_data_size(memory));
    }
    g_object_unref(out);
    g_object_unref(in);
}

void GotHtml(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::string> path(static_cast<std::string*>(data));
    GError* error = nullptr;
    gsize length = 0;
    guchar* bytes = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, &error);
    if (!bytes) {
        ReportAsync("The page was not saved", error);
        if (error) g_error_free(error);
        return;
    }
    SaveBytes(*path, bytes, length);
    g_free(bytes);
}

// Print operations live until the engine is done with them.
void ReleaseWhenFinished(WebKitPrintOperation* op) {
    g_signal_connect(op, "finished", G_CALLBACK(+[](WebKitPrintOperation* o, gpointer) {
                         g_idle_add([](gpointer p) { g_object_unref(p); return G_SOURCE_REMOVE; }, o);
                     }), nullptr);
}

void PreviewFinished(WebKitPrintOperation* op, gpointer data) {
    if (g_object_get_data(G_OBJECT(op), "qel-failed")) return;
    std::string why;
    if (!ShowWithDesktopViewer(static_cast<char*>(data), why))
        ShowErrorMessage("The print preview cannot be shown: " + why);
}

void PrintFailed(WebKitPrintOperation* op, GError* error, gpointer) {
    g_object_set_data(G_OBJECT(op), "qel-failed", GINT_TO_POINTER(1));
    ReportAsync("Printing failed", error);
}

} // namespace

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
    if (htmlOnly) {
        WebKitWebResource* resource = webkit_web_view_get_main_resource(view_);
        if (!resource) throw EWebControl("There is no page to save.");
        webkit_web_resource_get_data(resource, nullptr, GotHtml, new std::string(path));  // the callback owns it
    } else {
        webkit_web_view_save(view_, WEBKIT_SAVE_MODE_MHTML, nullptr, SavedMhtml, new std::string(path));
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
    previewFolders_.push_back(dir);
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
