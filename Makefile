# The two commands of the README: `make run` and `make test`.
BUILD ?= build
WIN_BUILD ?= build-win
SAN_BUILD ?= build-san
JOBS ?= $(shell nproc)
WIN_TOOLCHAIN = cmake/toolchains/mingw-w64-x86_64.cmake

.PHONY: all deps test-deps build windows run test clean web web-serve

all: build

deps:
	@scripts/install-deps.sh build

test-deps:
	@scripts/install-deps.sh test

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DLURVA_WERROR=ON -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc

# The loaders, the picture readers, the core and sdtool with AddressSanitizer
# and UndefinedBehaviorSanitizer: the core's tests and the fuzz corpora run
# there too, and any finding fails them.
$(SAN_BUILD)/build.ninja:
	cmake -S . -B $(SAN_BUILD) -G Ninja -DLURVA_WERROR=ON -DLURVA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" \
	  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
SANITIZER_OPTIONS = ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1

# The Windows module and its tests, cross-built with mingw-w64 (run under wine).
$(WIN_BUILD)/build.ninja:
	cmake -S . -B $(WIN_BUILD) -G Ninja -DLURVA_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

windows: test-deps $(WIN_BUILD)/build.ninja
	cmake --build $(WIN_BUILD) -j $(JOBS)

run: build
	@scripts/run-demo.sh $(BUILD)

# Both trees are built first; both test runs happen even when the first fails,
# and the make fails when either did.
test: test-deps web $(BUILD)/build.ninja $(WIN_BUILD)/build.ninja $(SAN_BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	cmake --build $(WIN_BUILD) -j $(JOBS)
	cmake --build $(SAN_BUILD) -j $(JOBS) --target sanitized
	@status=0; \
	echo "== Windows tests (under wine)"; \
	ctest --test-dir $(WIN_BUILD) --output-on-failure -j $(JOBS) || status=1; \
	echo "== Linux tests"; \
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) || status=1; \
	echo "== Sanitized tests (AddressSanitizer, UndefinedBehaviorSanitizer)"; \
	$(SANITIZER_OPTIONS) ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS) || status=1; \
	echo "== Web player tests (headless Chromium)"; \
	$(WEB_ENV) ctest --test-dir $(WEB_BUILD) --output-on-failure || status=1; \
	exit $$status

# Installing and the Debian package (cmake/Install.cmake): `make install
# PREFIX=/usr DESTDIR=/tmp/stage` installs the Linux tree under DESTDIR/PREFIX;
# `make package` writes $(BUILD)/lurva_VERSION-1_ARCH.deb.
PREFIX ?= /usr/local
.PHONY: install package
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD) $(WIN_BUILD) $(SAN_BUILD) $(WEB_BUILD)

# --- The web player: the static site in $(WEB_BUILD)/site, built with
# Debian's emscripten in a tree of its own, with the npm packages pinned in
# web/package-lock.json. The native build gives the demo show and, for the
# tests, sdtool render.
WEB_BUILD ?= build-web
# Debian's emscripten runs its JavaScript tools with node, which finds
# Debian's acorn there.
WEB_ENV = NODE_PATH=/usr/share/nodejs
WEB_PORT ?= 8000

web/node_modules/.package-lock.json: web/package-lock.json
	cd web && npm ci --no-audit --no-fund

$(WEB_BUILD)/build.ninja:
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DLURVA_WERROR=ON -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DLURVA_DEMO_SHOW=$(abspath $(BUILD))/demo/demo.sdt -DLURVA_HOST_BUILD=$(abspath $(BUILD))

web: deps web/node_modules/.package-lock.json $(BUILD)/build.ninja $(WEB_BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target demo_show sdtool
	$(WEB_ENV) cmake --build $(WEB_BUILD) -j $(JOBS)

# Serves the site on http://127.0.0.1:$(WEB_PORT)/ (any static host does).
web-serve: web
	python3 -m http.server --directory $(WEB_BUILD)/site --bind 127.0.0.1 $(WEB_PORT)
