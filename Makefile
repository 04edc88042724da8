# make run: install what is missing, build the programs it starts, start the
# program on data/.
# make test: install what is missing, build everything, then every test, headless,
# then make asan and make tsan.
# make asan: the tests without a window under AddressSanitizer and
# UndefinedBehaviorSanitizer, in their own build folder.
# make tsan: the tests without a window whose code runs on several threads
# (label tsan: page saving, the store) under ThreadSanitizer, in their own
# build folder.
# make format-check: fails on any file that clang-format would change.
# make layer-check: fails on an include that reaches a layer above its file's own.
# make docs: the pictures of the windows, by the tests labelled shots: the
# tutorial's in docs/tutorial (the whole-road test), the others in docs/windows.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR := $(if $(CI),ON,OFF)
# ccache, when the machine has it, shares compiled objects between build folders.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
ASAN_BUILD ?= build-asan
SANITIZE := -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
TSAN_BUILD ?= build-tsan
# Its runtime (libtsan2) comes with gcc.
TSAN := -fsanitize=thread
# Only reports that lie inside Qt are suppressed; the file says which and why.
TSAN_SUPPRESSIONS := $(CURDIR)/scripts/tsan-suppressions.txt
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(TSAN_SUPPRESSIONS)

.PHONY: deps configure build programs data run test asan tsan bench fuzz format format-check layer-check docs clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPAGRIM_WERROR=$(WERROR) $(LAUNCHER)

# Everything: the programs, the tests and the benchmarks.
build: configure
	cmake --build $(BUILD)

# The programs: what make run starts, and pagrim-run beside them.
programs: configure
	cmake --build $(BUILD) --target pagrim pagrim-run pagrim-mkstore pagrim-demosite

data: programs
	mkdir -p data
	[ -f data/Pagrim.mdb ] || (cd data && ../$(BUILD)/pagrim-mkstore --examples)

# The example site runs beside the program and stops when the program ends.
run: data
	bash scripts/run.sh $(BUILD)

# The tests make their own stores; data/ is not theirs. Picture makers run in make docs.
test: build
	ctest --test-dir $(BUILD) --output-on-failure --timeout 300 -j 2 -LE shots
	$(MAKE) asan
	$(MAKE) tsan

# Only the targets of the core tests are built: their names are the tests' names.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPAGRIM_WERROR=$(WERROR) \
		$(LAUNCHER) -DCMAKE_CXX_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)"
	cmake --build $(ASAN_BUILD) --target \
		$$(ctest --test-dir $(ASAN_BUILD) -L core -N | sed -n 's/^ *Test *#[0-9]*: //p')
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) -L core --output-on-failure --timeout 300 -j 2

# As asan, for the tests labelled tsan.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DPAGRIM_WERROR=$(WERROR) $(LAUNCHER) -DCMAKE_CXX_FLAGS="$(TSAN)" \
		-DCMAKE_EXE_LINKER_FLAGS="$(TSAN)"
	cmake --build $(TSAN_BUILD) --target \
		$$(ctest --test-dir $(TSAN_BUILD) -L tsan -N | sed -n 's/^ *Test *#[0-9]*: //p')
	$(TSAN_ENV) ctest --test-dir $(TSAN_BUILD) -L tsan --output-on-failure --timeout 300 -j 2

bench: build
	for b in $(BUILD)/bench_*; do QT_QPA_PLATFORM=offscreen $$b; done

# Every fuzz target for FUZZ_SECONDS each (5 minutes unless set).
FUZZ_SECONDS ?= 300
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz.sh

# The tests labelled shots save their pictures under PAGRIM_DOCS.
docs: build
	PAGRIM_DOCS=$(CURDIR)/docs ctest --test-dir $(BUILD) -L shots --output-on-failure

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

layer-check:
	bash scripts/check-layers.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
