#include "browser/WebKitControl.h"

#include "browser/AppErrors.h"
#include "browser/ContentBlocker.h"
#include "browser/ErrorPages.h"
#include "browser/UrlCompletion.h"
#include "browser/WebEngine.h"
#include "platform/MessageBox.h"
#include "settings/SysServices.h"

#include <glib/gstdio.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>

namespace browser {

namespace {

std::string Text(const char* s) { return s ? s : ""; }

// The address the certificate error page's button asks for, and its token.
constexpr const char* kAllowCertificate = "qel:allow-certificate/";

// Whether the element with the focus takes typed text: fields, text areas,
// editable content, and frames the page cannot look into (they may hold a
// field; a key that stays in the page is the safe guess).
const char* kFocusInTextScript = R"js((function () {
  var e = document.activeElement;
  for (;;) {
    if (e && e.shadowRoot && e.shadowRoot.activeElement) { e = e.shadowRoot.activeElement; continue; }
    if (e && e.tagName === 'IFRAME') {
      var d = null;
      try { d = e.contentDocument; } catch (x) { d = null; }
      if (!d) return true;
      e = d.activeElement;
      continue;
    }
    break;
  }
  if (!e) return false;
  if (e.isContentEditable) return true;
  if (e.tagName === 'TEXTAREA') return !e.readOnly;
  if (e.tagName === 'SELECT') return true;
  if (e.tagName === 'INPUT') {
    var t = (e.getAttribute('type') || 'text').toLowerCase();
    return ['button', 'checkbox', 'radio', 'submit', 'reset', 'image', 'file', 'color', 'range',
            'hidden'].indexOf(t) < 0 && !e.readOnly;
  }
  return false;
})())js";

// scheme://host[:port] of an address, what a permission is asked for.
std::string SiteOf(const std::string& url) {
    GUri* parsed = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!parsed) return url;
    std::string site = Text(g_uri_get_scheme(parsed)) + "://" + Text(g_uri_get_host(parsed));
    if (g_uri_get_port(parsed) > 0) site += ":" + std::to_string(g_uri_get_port(parsed));
    g_uri_unref(parsed);
    return site;
}

// What the request asks for, in the words of the permission bar; empty for
// requests that are refused without asking.
std::string PermissionWhat(WebKitPermissionRequest* request) {
    if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(request)) return "location";
    if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return "notifications";
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
        auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
        if (webkit_user_media_permission_is_for_display_device(media)) return "screen";
        bool audio = webkit_user_media_permission_is_for_audio_device(media);
        bool video = webkit_user_media_permission_is_for_video_device(media);
        if (audio && video) return "camera and microphone";
        if (video) return "camera";
        if (audio) return "microphone";
        return "";
    }
    if (WEBKIT_IS_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST(request)) return "storage";
    return "";
}

struct FocusQuery {
    std::function<void(bool)> answer;
};

void AnsweredFocus(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<FocusQuery> query(static_cast<FocusQuery*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (!value) {
        // The control is gone: nobody waits for the answer.
        bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        g_error_free(error);
        if (!cancelled) RunGuarded([&] { query->answer(false); });
        return;
    }
    bool inText = jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
    g_object_unref(value);
    RunGuarded([&] { query->answer(inText); });
}

} // namespace

struct WebKitControl::Signals {
    static gboolean DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            std::string url = Text(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
            if (c->AllowCertificate(url)) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            // The page that stands in for a failed one is no navigation of
            // the window's: the failed one was.
            if (!c->errorPageUrl_.empty() && url == c->errorPageUrl_) {
                webkit_policy_decision_use(decision);
                return TRUE;
            }
            if (c->OpensInTab(action, url)) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            // The window only watches; a navigation is never cancelled here.
            RunGuarded([&] { c->FireBeforeNavigate2(url); });
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
            // A middle or Ctrl click on a link aimed at a new window is the
            // user's choice of tab; anything else goes on to "create".
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            std::string url = Text(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
            if (c->OpensInTab(action, url)) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            if (!c->OnNewRelated) {
                // Nobody takes new pages: it opens in this one.
                webkit_web_view_load_request(view, webkit_navigation_action_get_request(action));
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            return FALSE;
        }
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
            // What the engine cannot show is saved; the engine's own choice
            // would drop it without a word.
            auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
            if (webkit_response_policy_decision_is_main_frame_main_resource(response) &&
                !webkit_response_policy_decision_is_mime_type_supported(response)) {
                webkit_policy_decision_download(decision);
                return TRUE;
            }
        }
        return FALSE;
    }

    static void LoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string uri = Text(webkit_web_view_get_uri(view));
        switch (event) {
        case WEBKIT_LOAD_STARTED:
            if (!c->errorPageUrl_.empty()) {
                c->errorPageUrl_.clear();  // the error page: the failure stays
            } else {
                c->errorText_.clear();
                c->downloadText_.clear();
                c->stateText_ = "Opening page " + uri + " ...";
            }
            c->startedUrl_ = uri;
            c->ApplyContentBlocking();
            break;
        case WEBKIT_LOAD_REDIRECTED:
            c->stateText_ = "Redirecting to " + uri + " ...";
            c->startedUrl_.clear();
            c->ApplyContentBlocking();
            break;
        case WEBKIT_LOAD_COMMITTED:
            // A load the engine refuses (a restricted port, a scheme it does
            // not serve) ends in an empty page without a failure: it is one.
            if (uri == "about:blank" && !c->startedUrl_.empty() && c->startedUrl_ != uri) {
                std::string url = c->startedUrl_;
                c->startedUrl_.clear();
                const std::string message = "The engine does not load this address (its port or scheme is refused).";
                c->ShowErrorPage(url, LoadErrorPage(url, message), url + ": " + message);
                return;
            }
            c->startedUrl_.clear();
            if (c->errorText_.empty()) c->stateText_ = "Loading " + uri + " ...";
            c->findText_.clear();  // a search starts afresh on the new page
            c->ReportHistory();
            if (c->errorText_.empty()) RunGuarded([&] { c->FireNavigateComplete2(uri); });
            break;
        case WEBKIT_LOAD_FINISHED:
            // A failed load, and the page standing in for it, end with the
            // failure; a load that became a download ends with the download.
            if (!c->errorText_.empty())
                c->stateText_ = c->errorText_;
            else if (!c->downloadText_.empty())
                c->stateText_ = c->downloadText_;
            else
                c->stateText_ = "Done";
            RunGuarded([&] { c->FireDocumentComplete(uri); });
            break;
        }
        c->ShowStateStatus();
    }

    static gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent, char* uri, GError* error, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        // Turned into a download: the load ends with the download's words,
        // which may come after it.
        if (g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)) {
            if (c->downloadText_.empty()) c->downloadText_ = "Downloading " + Text(uri) + " ...";
            return FALSE;
        }
        // Stopped by the user or replaced by another load: nothing failed.
        if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
            g_error_matches(error, WEBKIT_PLUGIN_ERROR, WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD))
            return FALSE;
        std::string url = Text(uri);
        std::string message = Text(error ? error->message : nullptr);
        c->ShowErrorPage(url, LoadErrorPage(url, message), url + ": " + message);
        return TRUE;
    }

    static gboolean LoadFailedWithTlsErrors(WebKitWebView*, char* uri, GTlsCertificate* certificate,
                                            GTlsCertificateFlags errors, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string url = Text(uri);
        std::string host;
        if (GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr)) {
            host = Text(g_uri_get_host(parsed));
            g_uri_unref(parsed);
        }
        std::string problems = CertificateProblems(errors);
        char* token = g_uuid_string_random();
        std::string allowUrl = std::string(kAllowCertificate) + token;
        g_free(token);
        c->ForgetCertificates();
        c->refused_[allowUrl] = RefusedCertificate{G_TLS_CERTIFICATE(g_object_ref(certificate)), host, url};
        c->ShowErrorPage(url, CertificateErrorPage(url, host, problems, allowUrl),
                         url + ": the certificate of " + host + " is refused: " + problems);
        return TRUE;
    }

    static void TitleChanged(WebKitWebView* view, GParamSpec*, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string title = Text(webkit_web_view_get_title(view));
        if (!title.empty()) c->title_ = title;
        // The engine clears the title when a new document commits, and some
        // documents have none: the caption then names the document instead.
        if (title.empty()) title = Text(webkit_web_view_get_uri(view));
        // A page that stopped keeps its name while the page saying so comes.
        if (Text(webkit_web_view_get_title(view)).empty() && !c->errorPageUrl_.empty() && !c->title_.empty())
            title = c->title_;
        RunGuarded([&] { c->FireTitleChange(title); });
    }

    static void LoadingChanged(WebKitWebView*, GParamSpec*, gpointer self) {
        static_cast<WebKitControl*>(self)->ReportBusy();
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

    static void DownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (webkit_download_get_web_view(download) == c->view_) c->downloads_->Add(download);
    }

    static void ProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        switch (reason) {
        case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT: c->ShowCrash("The page used too much memory and was stopped."); break;
        case WEBKIT_WEB_PROCESS_TERMINATED_BY_API: c->ShowCrash("The page was stopped because it did not answer."); break;
        default: c->ShowCrash("The page's process ended unexpectedly (it crashed or was killed)."); break;
        }
        // A dead page answers again once it is loaded anew.
        RunGuarded([&] { if (c->OnResponsive) c->OnResponsive(true); });
    }

    static GtkWidget* Create(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string url = Text(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
        if (!webkit_navigation_action_is_user_gesture(action)) {
            RunGuarded([&] { if (c->OnPopupBlocked) c->OnPopupBlocked(url); });
            return nullptr;
        }
        if (!c->OnNewRelated) return nullptr;
        auto child = std::make_unique<WebKitControl>(c->engine_, view);
        GtkWidget* widget = GTK_WIDGET(child->View());
        bool adopted = false;
        RunGuarded([&] {
            c->OnNewRelated(std::move(child));
            adopted = true;
        });
        return adopted ? widget : nullptr;
    }

    static void Close(WebKitWebView*, gpointer self) {
        RunGuarded([&] { static_cast<WebKitControl*>(self)->FireClose(); });
    }

    static void ResponsiveChanged(WebKitWebView* view, GParamSpec*, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        bool responsive = webkit_web_view_get_is_web_process_responsive(view);
        RunGuarded([&] { if (c->OnResponsive) c->OnResponsive(responsive); });
    }

    static gboolean PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string what = PermissionWhat(request);
        // Nothing is granted without the user's word; what the bar cannot
        // ask about is refused.
        if (what.empty() || !c->OnPermission) {
            webkit_permission_request_deny(request);
            return TRUE;
        }
        std::shared_ptr<WebKitPermissionRequest> held(WEBKIT_PERMISSION_REQUEST(g_object_ref(request)),
                                                      [](WebKitPermissionRequest* r) { g_object_unref(r); });
        auto done = std::make_shared<bool>(false);
        auto answer = [held, done](bool allow) {
            if (*done) return;
            *done = true;
            if (allow)
                webkit_permission_request_allow(held.get());
            else
                webkit_permission_request_deny(held.get());
        };
        std::string site = SiteOf(Text(webkit_web_view_get_uri(view)));
        RunGuarded([&] { c->OnPermission(site, what, answer); });
        return TRUE;
    }

    static gboolean ShowNotification(WebKitWebView*, WebKitNotification* notification, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (!c->OnNotification) return FALSE;
        std::string title = Text(webkit_notification_get_title(notification));
        std::string body = Text(webkit_notification_get_body(notification));
        RunGuarded([&] { c->OnNotification(title, body); });
        return TRUE;
    }

    static gboolean ScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (webkit_script_dialog_get_dialog_type(dialog) != WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) return FALSE;
        // A page that holds unsaved work asks before it goes.
        int answer = platform::IDNO;
        c->asking_ = true;
        RunGuarded([&] {
            answer = settings::MsgBox(
                platform::TVariant(std::string("This page asks you to stay: what you entered in it may be lost.\n"
                                               "Leave the page?")),
                platform::TVariant(std::string("Leave page")), platform::MB_YESNO | platform::MB_ICONQUESTION);
        });
        c->asking_ = false;
        webkit_script_dialog_confirm_set_confirmed(dialog, answer == platform::IDYES);
        if (answer != platform::IDYES) RunGuarded([&] { if (c->OnStay) c->OnStay(); });
        return TRUE;
    }

    static gboolean ContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult* hit,
                                gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        if (!webkit_hit_test_result_context_is_link(hit) || !c->OnOpenInTab) return FALSE;
        std::string link = Text(webkit_hit_test_result_get_link_uri(hit));
        // Right after the engine's own link items, before "Open Link in New Window".
        guint at = 0;
        GList* items = webkit_context_menu_get_items(menu);
        for (GList* i = items; i; i = i->next, ++at) {
            auto action = webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(i->data));
            if (action == WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW) break;
        }
        webkit_context_menu_insert(menu,
                                   webkit_context_menu_item_new_from_gaction(G_ACTION(c->openInTab_),
                                                                             "Open Link in New Tab",
                                                                             g_variant_new_string(link.c_str())),
                                   static_cast<gint>(at));
        return FALSE;
    }

    static void OpenLinkInTab(GSimpleAction*, GVariant* parameter, gpointer self) {
        auto* c = static_cast<WebKitControl*>(self);
        std::string url = Text(g_variant_get_string(parameter, nullptr));
        RunGuarded([&] { if (c->OnOpenInTab) c->OnOpenInTab(url, false); });
    }

    static void CountedMatches(WebKitFindController*, guint count, gpointer self) {
        RunGuarded([&] { static_cast<WebKitControl*>(self)->FireFindResult(static_cast<int>(count)); });
    }

    static void FoundNothing(WebKitFindController*, gpointer self) {
        RunGuarded([&] { static_cast<WebKitControl*>(self)->FireFindResult(0); });
    }
};

WebKitControl::WebKitControl(WebEngine& engine, WebKitWebView* relatedTo) : engine_(engine) {
    WebKitWebContext* context = engine_.Context();
    if (relatedTo)
        view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", relatedTo, "settings",
                                             webkit_web_view_get_settings(relatedTo), nullptr));
    else
        view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings",
                                             engine_.Settings(), nullptr));
    g_object_ref_sink(view_);
    cancel_ = g_cancellable_new();
    openInTab_ = g_simple_action_new("open-link-in-tab", G_VARIANT_TYPE_STRING);
    g_signal_connect(openInTab_, "activate", G_CALLBACK(Signals::OpenLinkInTab), this);
    g_signal_connect(view_, "create", G_CALLBACK(Signals::Create), this);
    g_signal_connect(view_, "close", G_CALLBACK(Signals::Close), this);
    g_signal_connect(view_, "notify::is-web-process-responsive", G_CALLBACK(Signals::ResponsiveChanged), this);
    g_signal_connect(view_, "permission-request", G_CALLBACK(Signals::PermissionRequest), this);
    g_signal_connect(view_, "show-notification", G_CALLBACK(Signals::ShowNotification), this);
    g_signal_connect(view_, "script-dialog", G_CALLBACK(Signals::ScriptDialog), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(Signals::ContextMenu), this);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(Signals::DecidePolicy), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(Signals::LoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(Signals::LoadFailed), this);
    g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(Signals::LoadFailedWithTlsErrors), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(Signals::TitleChanged), this);
    g_signal_connect(view_, "notify::is-loading", G_CALLBACK(Signals::LoadingChanged), this);
    g_signal_connect(view_, "mouse-target-changed", G_CALLBACK(Signals::MouseTarget), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(Signals::ProcessTerminated), this);
    historySignal_ = g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed",
                                      G_CALLBACK(Signals::HistoryChanged), this);
    WebKitFindController* find = webkit_web_view_get_find_controller(view_);
    g_signal_connect(find, "counted-matches", G_CALLBACK(Signals::CountedMatches), this);
    g_signal_connect(find, "failed-to-find-text", G_CALLBACK(Signals::FoundNothing), this);
    downloads_ = std::make_unique<DownloadList>(
        engine_.Profile().downloadFolder,
        [this](const std::string& text) {
            downloadText_ = text;
            ShowState(text);
        },
        [this] { ReportBusy(); });
    downloadSignal_ = g_signal_connect(context, "download-started", G_CALLBACK(Signals::DownloadStarted), this);
    // The view goes before the count it holds, so the count never outlives this.
    ContentBlocker::CountBlocked(view_, [this](int n) { RunGuarded([&] { FireBlockedCount(n); }); });
    widget_ = Glib::wrap(GTK_WIDGET(view_));
    // A page that has no site yet is blocked, as every site is by default.
    ApplyContentBlocking(std::string());
}

WebKitControl::~WebKitControl() {
    g_signal_handler_disconnect(engine_.Context(), downloadSignal_);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_find_controller(view_), this);
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handler_disconnect(webkit_web_view_get_back_forward_list(view_), historySignal_);
    g_cancellable_cancel(cancel_);
    g_object_unref(cancel_);
    g_signal_handlers_disconnect_by_data(openInTab_, this);
    g_object_unref(openInTab_);
    downloads_.reset();
    ForgetCertificates();
    if (printSettings_) g_object_unref(printSettings_);
    if (pageSetup_) g_object_unref(pageSetup_);
    // Destroyed, not only let go: whatever else holds the view drops it, and
    // the page with its web process goes now.
    gtk_widget_destroy(GTK_WIDGET(view_));
    g_object_unref(view_);
    // The previews were shown by another program; they go with ours.
    for (const std::string& folder : previewFolders_) {
        g_unlink((folder + "/preview.pdf").c_str());
        g_rmdir(folder.c_str());
    }
}

Gtk::Widget& WebKitControl::Widget() { return *widget_; }

void WebKitControl::Navigate(const std::string& url, const platform::TVariant&, const platform::TVariant&,
                             const platform::TVariant&, const platform::TVariant&) {
    const std::string complete = CompleteUrl(url);
    ApplyContentBlocking(complete);
    webkit_web_view_load_uri(view_, complete.c_str());
}

void WebKitControl::StartPageProcess() {
    // A script needs the process; the engine has no other public call that
    // starts one without a load. It runs in the view's empty first document,
    // in a world of its own, and leaves no history, load or title behind.
    webkit_web_view_evaluate_javascript(
        view_, "void 0", -1, "qel-start", nullptr, cancel_,
        [](GObject* view, GAsyncResult* result, gpointer) {
            if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr))
                g_object_unref(value);
        },
        nullptr);
}

void WebKitControl::GoBack() {
    if (!webkit_web_view_can_go_back(view_)) throw EWebControl("There is no previous page in the history.");
    webkit_web_view_go_back(view_);
}

void WebKitControl::GoForward() {
    if (!webkit_web_view_can_go_forward(view_)) throw EWebControl("There is no next page in the history.");
    webkit_web_view_go_forward(view_);
}

void WebKitControl::Refresh2(const platform::TVariant& level) {
    if (level.AsInteger() == REFRESH_COMPLETELY)
        webkit_web_view_reload_bypass_cache(view_);
    else
        webkit_web_view_reload(view_);
}

void WebKitControl::Stop() {
    webkit_web_view_stop_loading(view_);
    downloads_->CancelAll();
}

bool WebKitControl::Busy() { return webkit_web_view_is_loading(view_) || downloads_->Running() > 0; }

std::string WebKitControl::LocationURL() { return Text(webkit_web_view_get_uri(view_)); }

void WebKitControl::Find(const std::string& text, bool backwards, bool matchCase) {
    WebKitFindController* find = webkit_web_view_get_find_controller(view_);
    if (text.empty()) {
        FindFinish();
        return;
    }
    if (text == findText_ && matchCase == findCase_) {
        if (backwards)
            webkit_find_controller_search_previous(find);
        else
            webkit_find_controller_search_next(find);
        return;
    }
    findText_ = text;
    findCase_ = matchCase;
    guint32 options = WEBKIT_FIND_OPTIONS_WRAP_AROUND;
    if (!matchCase) options |= WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE;
    webkit_find_controller_count_matches(find, text.c_str(), options, G_MAXUINT);
    if (backwards) options |= WEBKIT_FIND_OPTIONS_BACKWARDS;
    webkit_find_controller_search(find, text.c_str(), options, G_MAXUINT);
}

void WebKitControl::FindFinish() {
    findText_.clear();
    webkit_find_controller_search_finish(webkit_web_view_get_find_controller(view_));
}

double WebKitControl::ZoomLevel() { return webkit_web_view_get_zoom_level(view_); }

void WebKitControl::SetZoomLevel(double level) { webkit_web_view_set_zoom_level(view_, level); }

void WebKitControl::TryClose() { webkit_web_view_try_close(view_); }

void WebKitControl::FocusInText(std::function<void(bool inText)> answer) {
    webkit_web_view_evaluate_javascript(view_, kFocusInTextScript, -1, nullptr, nullptr, cancel_, AnsweredFocus,
                                        new FocusQuery{std::move(answer)});
}

std::string WebKitControl::SaveHistory() {
    WebKitWebViewSessionState* state = webkit_web_view_get_session_state(view_);
    if (!state) return {};
    GBytes* bytes = webkit_web_view_session_state_serialize(state);
    webkit_web_view_session_state_unref(state);
    if (!bytes) return {};
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string out(data ? data : "", size);
    g_bytes_unref(bytes);
    return out;
}

bool WebKitControl::RestoreHistory(const std::string& saved) {
    if (saved.empty()) return false;
    GBytes* bytes = g_bytes_new(saved.data(), saved.size());
    WebKitWebViewSessionState* state = webkit_web_view_session_state_new(bytes);
    g_bytes_unref(bytes);
    if (!state) return false;
    webkit_web_view_restore_session_state(view_, state);
    webkit_web_view_session_state_unref(state);
    WebKitBackForwardList* list = webkit_web_view_get_back_forward_list(view_);
    WebKitBackForwardListItem* current = webkit_back_forward_list_get_current_item(list);
    if (!current) return false;
    webkit_web_view_go_to_back_forward_list_item(view_, current);
    return true;
}

void WebKitControl::ApplyContentBlocking() { ApplyContentBlocking(Text(webkit_web_view_get_uri(view_))); }

void WebKitControl::ApplyContentBlocking(const std::string& uri) {
    // The engine hands a filter change to the page's process on its own
    // time: it is made as early as the address is known, and only when the
    // site wants another state than the page has.
    ContentBlocker* blocker = engine_.Blocker();
    if (!blocker || !blocker->Ready()) return;
    const bool wanted = blocker->EnabledFor(uri);
    if (blocking_ == int(wanted) && blockingFilter_ == blocker->Identifier()) return;
    blocker->ApplyTo(webkit_web_view_get_user_content_manager(view_), uri);
    blocking_ = int(wanted);
    blockingFilter_ = blocker->Identifier();
}

void WebKitControl::TerminatePage() { webkit_web_view_terminate_web_process(view_); }

bool WebKitControl::HasFocus() { return gtk_widget_has_focus(GTK_WIDGET(view_)); }

void WebKitControl::ShowCrash(const std::string& why) {
    std::string url = LocationURL();
    if (url.empty()) {
        ShowState(why);
        return;
    }
    ShowErrorPage(url, CrashedPage(url, title_, why), why);
}

bool WebKitControl::OpensInTab(WebKitNavigationAction* action, const std::string& url) {
    if (!OnOpenInTab || webkit_navigation_action_get_navigation_type(action) != WEBKIT_NAVIGATION_TYPE_LINK_CLICKED)
        return false;
    const guint button = webkit_navigation_action_get_mouse_button(action);
    const guint mods = webkit_navigation_action_get_modifiers(action);
    if (button != 2 && !(mods & GDK_CONTROL_MASK)) return false;
    // Ctrl+Shift brings the new tab to the front; a middle click or Ctrl
    // alone leaves it behind.
    const bool foreground = (mods & GDK_CONTROL_MASK) && (mods & GDK_SHIFT_MASK);
    RunGuarded([&] { OnOpenInTab(url, foreground); });
    return true;
}

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

void WebKitControl::ShowState(const std::string& text) {
    stateText_ = text;
    ShowStateStatus();
}

void WebKitControl::ReportHistory() {
    bool forward = webkit_web_view_can_go_forward(view_);
    bool back = webkit_web_view_can_go_back(view_);
    RunGuarded([&] {
        FireCommandStateChange(CSC_NAVIGATEFORWARD, forward);
        FireCommandStateChange(CSC_NAVIGATEBACK, back);
    });
}

void WebKitControl::ReportBusy() {
    bool busy = Busy();
    RunGuarded([&] { FireCommandStateChange(CSC_UPDATECOMMANDS, busy); });
}

void WebKitControl::ShowErrorPage(const std::string& url, const std::string& html, const std::string& status) {
    errorText_ = status;
    errorPageUrl_ = url;
    ShowState(status);
    // Shown under the failed address, so that the caption, the address box
    // and a reload all keep to it.
    webkit_web_view_load_alternate_html(view_, html.c_str(), url.c_str(), nullptr);
}

bool WebKitControl::AllowCertificate(const std::string& requestUrl) {
    if (requestUrl.rfind(kAllowCertificate, 0) != 0) return false;
    // The button's form adds an empty query.
    std::string key = requestUrl.substr(0, requestUrl.find('?'));
    auto it = refused_.find(key);
    // Only the error page now shown can let its certificate through.
    if (it == refused_.end() || LocationURL() != it->second.url) return true;
    RefusedCertificate refused = it->second;
    refused_.erase(it);
    webkit_web_context_allow_tls_certificate_for_host(engine_.Context(), refused.certificate, refused.host.c_str());
    g_object_unref(refused.certificate);
    webkit_web_view_load_uri(view_, refused.url.c_str());
    return true;
}

void WebKitControl::ForgetCertificates() {
    for (auto& [key, refused] : refused_) g_object_unref(refused.certificate);
    refused_.clear();
}

} // namespace browser
