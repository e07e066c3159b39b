#pragma once
// The main window's commands as data: each command is one action (its
// name in the window's action group, its tag for SbAct, its caption, hint
// and picture), and the keys that run it sit beside it in one table. The
// menus show an action's first key; the window's key handler looks keys
// up here and nowhere else.
#include <gdk/gdk.h>

#include <vector>

namespace browser {

struct ActionDef {
    const char* name;
    int tag;
    const char* caption;
    const char* hint;
    const char* icon;
    bool checkable;
};

struct KeyDef {
    guint key;       // the key as GDK names it, letters in lower case
    unsigned mods;   // exactly these of Ctrl, Shift and Alt
    int tag;
};

// Every action, in the window's list order.
const std::vector<ActionDef>& Actions();
// The action of a tag; raises platform::Exception for an unknown one.
const ActionDef& ActionOf(int tag);
// Every key binding.
const std::vector<KeyDef>& Keys();
// The tag a key runs (0 for none); mods are the event's modifier state.
int TagOfKey(guint key, unsigned mods);
// The first key of a tag, for the menus; false when it has none.
bool FirstKeyOf(int tag, guint& key, GdkModifierType& mods);

} // namespace browser
