#include "browser/Web010Actions.h"

#include "browser/Web010.h"
#include "platform/Exception.h"

#include <gdk/gdkkeysyms.h>

namespace browser {

namespace {

const char* kIconBack = "go-previous";
const char* kIconForward = "go-next";
const char* kIconStop = "process-stop";
const char* kIconRefresh = "view-refresh";
const char* kIconHome = "go-home";

constexpr unsigned C = GDK_CONTROL_MASK, S = GDK_SHIFT_MASK, A = GDK_MOD1_MASK, CS = C | S;

} // namespace

const std::vector<ActionDef>& Actions() {
    // name, tag, caption, hint, picture, check mark.
    static const std::vector<ActionDef> actions = {
        {"acBack", tagBack, "Back", "Show previous entry in history list", kIconBack, false},
        {"acForw", tagForward, "Forward", "Show next entry in hostory list", kIconForward, false},
        {"acStop", tagStop, "Stop", "Try to stop the file downloads", kIconStop, false},
        {"acRfs", tagRefresh, "Refresh", "Reload current page", kIconRefresh, false},
        {"acTool", tagToolbar, "Toolbar", "Show / Hide toolbar", nullptr, true},
        {"acSts", tagStatusbar, "Statusbar", "Show / Hide statusbar", nullptr, true},
        {"acAbt", tagAbout, "About ...", "Show about screen", nullptr, false},
        {"acHome", tagHome, "Home", "Goto home page", kIconHome, false},
        {"acFav", tagFavorites, "Favorites", "Show favorites", "user-bookmarks", false},
        {"acHis", tagHistory, "History", "Show history list", "document-open-recent", false},
        {"ac082", tagSave, "Logs", "", nullptr, false},
        {"acsHome", tagSetHome, "Set home page", "", nullptr, false},
        // The File menu's commands and the everyday keys' own.
        {"acPrvw", tagPrintPreview, "Print preview ...", "", nullptr, false},
        {"acPrint", tagPrint, "Print ...", "", nullptr, false},
        {"acPSetup", tagPageSetup, "Page setup ...", "", nullptr, false},
        {"acClose", tagClose, "Close", "", nullptr, false},
        {"acBookmark", tagBookmarkPage, "Bookmark This Page ...", "", nullptr, false},
        {"acBookmarks", tagShowBookmarks, "Show All Bookmarks", "", nullptr, false},
        {"acImport", tagImportBookmarks, "Import Bookmarks ...", "", nullptr, false},
        {"acExport", tagExportBookmarks, "Export Bookmarks ...", "", nullptr, false},
        {"acHistory", tagShowHistory, "History", "", nullptr, false},
        {"acClear", tagClearHistory, "Clear History ...", "", nullptr, false},
        {"acZoomIn", tagZoomIn, "Zoom In", "", nullptr, false},
        {"acZoomOut", tagZoomOut, "Zoom Out", "", nullptr, false},
        {"acZoom0", tagZoomReset, "Normal Size", "", nullptr, false},
        {"acAddress", tagFocusAddress, "Open Location", "", nullptr, false},
        {"acReload", tagHardRefresh, "Reload Past the Cache", "", nullptr, false},
        {"acFind", tagFind, "Find ...", "", nullptr, false},
        {"acFindNext", tagFindNext, "Find Next", "", nullptr, false},
        {"acFindPrev", tagFindPrevious, "Find Previous", "", nullptr, false},
        {"acNewTab", tagNewTab, "New Tab", "", nullptr, false},
        {"acCloseTab", tagCloseTab, "Close Tab", "", nullptr, false},
        {"acReopen", tagReopenTab, "Reopen Closed Tab", "", nullptr, false},
        {"acNextTab", tagNextTab, "Next Tab", "", nullptr, false},
        {"acPrevTab", tagPreviousTab, "Previous Tab", "", nullptr, false},
        {"acTab1", tagSelectTab1 + 0, "Tab 1", "", nullptr, false},
        {"acTab2", tagSelectTab1 + 1, "Tab 2", "", nullptr, false},
        {"acTab3", tagSelectTab1 + 2, "Tab 3", "", nullptr, false},
        {"acTab4", tagSelectTab1 + 3, "Tab 4", "", nullptr, false},
        {"acTab5", tagSelectTab1 + 4, "Tab 5", "", nullptr, false},
        {"acTab6", tagSelectTab1 + 5, "Tab 6", "", nullptr, false},
        {"acTab7", tagSelectTab1 + 6, "Tab 7", "", nullptr, false},
        {"acTab8", tagSelectTab1 + 7, "Tab 8", "", nullptr, false},
        {"acLastTab", tagLastTab, "Last Tab", "", nullptr, false},
        {"acFull", tagFullScreen, "Full Screen", "", nullptr, false},
    };
    return actions;
}

const std::vector<KeyDef>& Keys() {
    // The first key of a command is the one its menu item shows. Zoom keys
    // take Shift as it comes: plus often needs it.
    static const std::vector<KeyDef> keys = {
        {GDK_KEY_plus, C, tagZoomIn}, {GDK_KEY_plus, CS, tagZoomIn}, {GDK_KEY_equal, C, tagZoomIn},
        {GDK_KEY_equal, CS, tagZoomIn}, {GDK_KEY_KP_Add, C, tagZoomIn}, {GDK_KEY_KP_Add, CS, tagZoomIn},
        {GDK_KEY_minus, C, tagZoomOut}, {GDK_KEY_minus, CS, tagZoomOut}, {GDK_KEY_underscore, C, tagZoomOut},
        {GDK_KEY_underscore, CS, tagZoomOut}, {GDK_KEY_KP_Subtract, C, tagZoomOut}, {GDK_KEY_KP_Subtract, CS, tagZoomOut},
        {GDK_KEY_0, C, tagZoomReset}, {GDK_KEY_KP_0, C, tagZoomReset}, {GDK_KEY_KP_Insert, C, tagZoomReset},
        {GDK_KEY_l, C, tagFocusAddress}, {GDK_KEY_F6, 0, tagFocusAddress}, {GDK_KEY_d, A, tagFocusAddress},
        {GDK_KEY_F5, 0, tagRefresh}, {GDK_KEY_r, C, tagRefresh},
        {GDK_KEY_r, CS, tagHardRefresh}, {GDK_KEY_F5, S, tagHardRefresh}, {GDK_KEY_F5, C, tagHardRefresh},
        {GDK_KEY_f, C, tagFind}, {GDK_KEY_F3, 0, tagFindNext}, {GDK_KEY_F3, S, tagFindPrevious},
        {GDK_KEY_s, C, tagSave}, {GDK_KEY_p, C, tagPrint},
        {GDK_KEY_w, C, tagCloseTab}, {GDK_KEY_q, C, tagClose},
        {GDK_KEY_t, C, tagNewTab}, {GDK_KEY_t, CS, tagReopenTab},
        {GDK_KEY_Tab, C, tagNextTab}, {GDK_KEY_Page_Down, C, tagNextTab}, {GDK_KEY_KP_Page_Down, C, tagNextTab},
        {GDK_KEY_ISO_Left_Tab, CS, tagPreviousTab}, {GDK_KEY_Tab, CS, tagPreviousTab},
        {GDK_KEY_Page_Up, C, tagPreviousTab}, {GDK_KEY_KP_Page_Up, C, tagPreviousTab},
        {GDK_KEY_1, C, tagSelectTab1 + 0}, {GDK_KEY_2, C, tagSelectTab1 + 1}, {GDK_KEY_3, C, tagSelectTab1 + 2},
        {GDK_KEY_4, C, tagSelectTab1 + 3}, {GDK_KEY_5, C, tagSelectTab1 + 4}, {GDK_KEY_6, C, tagSelectTab1 + 5},
        {GDK_KEY_7, C, tagSelectTab1 + 6}, {GDK_KEY_8, C, tagSelectTab1 + 7}, {GDK_KEY_9, C, tagLastTab},
        {GDK_KEY_F11, 0, tagFullScreen},
        {GDK_KEY_d, C, tagBookmarkPage}, {GDK_KEY_o, CS, tagShowBookmarks},
        {GDK_KEY_h, C, tagShowHistory}, {GDK_KEY_Delete, CS, tagClearHistory}, {GDK_KEY_KP_Delete, CS, tagClearHistory},
    };
    return keys;
}

const ActionDef& ActionOf(int tag) {
    for (const ActionDef& d : Actions())
        if (d.tag == tag) return d;
    throw platform::Exception("No action with tag " + std::to_string(tag));
}

int TagOfKey(guint key, unsigned mods) {
    mods &= C | S | A;
    const guint lower = gdk_keyval_to_lower(key);
    for (const KeyDef& k : Keys())
        if (k.mods == mods && (k.key == key || k.key == lower)) return k.tag;
    return 0;
}

bool FirstKeyOf(int tag, guint& key, GdkModifierType& mods) {
    for (const KeyDef& k : Keys())
        if (k.tag == tag) {
            key = k.key;
            mods = GdkModifierType(k.mods);
            return true;
        }
    return false;
}

} // namespace browser
