// qelgif view in a build without the toolkit.
#include "GifCommands.h"
#include "platform/Exception.h"

namespace qelgif {

int View(const Args&) { throw platform::Exception("view is not available in this build (it needs GTK)"); }

} // namespace qelgif
