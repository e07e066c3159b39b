# Qel Browser: the two set-up commands of the README, and a few helpers.
#   make run   installs what is missing, builds, starts the browser
#   make test  installs what is missing, builds, runs every test

BUILD      ?= build
JOBS       ?= $(shell nproc)
SUDO       := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

# The program's own components (design notes, section 2) and the build tools.
PACKAGES   := cmake g++ make pkg-config \
              libgtkmm-3.0-dev libwebkit2gtk-4.1-dev libjpeg62-turbo-dev libpng-dev \
              libgtest-dev libgmock-dev xvfb xauth \
              libbenchmark-dev libgif-dev clang \
              bubblewrap xdg-dbus-proxy
# Third-party encoders that make test pictures at test time; openssl makes
# the certificates of the HTTPS tests.
TEST_PACKAGES := imagemagick gifsicle python3-pil openssl strace

# Where make install puts the programs, the desktop entry and the icon.
PREFIX     ?= /usr/local

define install_missing
	@missing=$$(for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

.PHONY: run test build deps test-deps configure clean install uninstall soak

deps:
	$(call install_missing,$(PACKAGES))

test-deps: deps
	$(call install_missing,$(TEST_PACKAGES))

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/bin/QelBrowser ]; then $(BUILD)/bin/QelBrowser; \
	else $(BUILD)/bin/qelini --help; fi

test: test-deps build
	cd $(BUILD) && xvfb-run -a -s "-screen 0 1280x1024x24" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

clean:
	rm -rf $(BUILD)

# After make build: the programs, a desktop entry that offers the browser
# for web links, and its icon. DESTDIR stages the files elsewhere.
PROGRAMS   := QelBrowser qelini hdstrings qelgif qelgif-view
APPS_DIR   := $(DESTDIR)$(PREFIX)/share/applications
ICONS_DIR  := $(DESTDIR)$(PREFIX)/share/icons/hicolor/scalable/apps

install:
	@for p in $(PROGRAMS); do [ -x $(BUILD)/bin/$$p ] || { echo "$(BUILD)/bin/$$p is missing: run make build first"; exit 1; }; done
	install -d $(DESTDIR)$(PREFIX)/bin $(APPS_DIR) $(ICONS_DIR)
	install -m 755 $(addprefix $(BUILD)/bin/,$(PROGRAMS)) $(DESTDIR)$(PREFIX)/bin/
	sed 's|@BINDIR@|$(PREFIX)/bin|g' src/browser/desktop/qelbrowser.desktop > $(APPS_DIR)/qelbrowser.desktop
	chmod 644 $(APPS_DIR)/qelbrowser.desktop
	install -m 644 src/browser/desktop/qelbrowser.svg $(ICONS_DIR)/qelbrowser.svg

uninstall:
	rm -f $(addprefix $(DESTDIR)$(PREFIX)/bin/,$(PROGRAMS)) $(APPS_DIR)/qelbrowser.desktop $(ICONS_DIR)/qelbrowser.svg

# The browser's long run, outside make test: 1,000 navigations.
soak: build
	$(BUILD)/bin/browser_soak
