SHELL := /bin/bash
# Vellumry: the everyday commands. Each installs what the machine lacks first.
#   make run          build and start the program on $DISPLAY
#   make test         build and run every test (unit, exactness, end-to-end under Xvfb)
#   make test-asan    the tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   make test-clang   build with clang++ and check it computes the same bits as g++
#   make tidy         clang-tidy on src/
#   make bench        the simulation benchmarks and the frame-rate probe
#   make screenshots  regenerate docs/screenshot-*.png under Xvfb
#   make package      build the Debian package into build/default
#   make fuzz         fuzz the session, scene and mesh file readers with libFuzzer,
#                     FUZZ_SECONDS (60) shared between them
#   make demo         render data/sessions/demo.session, drape.session and tablecloth.session
#                     headless into docs/demo.webp, docs/drape.webp and docs/tablecloth.webp

JOBS ?= 2
# Warnings are errors in CI (CI=true), not on every user's compiler.
WERROR ?= $(if $(filter true 1,$(CI)),ON,OFF)
CONFIGURE = cmake -DVELLUMRY_WERROR=$(WERROR) --preset

FUZZ_SECONDS ?= 60

.PHONY: deps build run test test-asan test-clang tidy bench screenshots package fuzz demo clean

deps:
	@bash scripts/install-deps.sh

build: deps
	$(CONFIGURE) default
	cmake --build --preset default -j $(JOBS)

run: build
	./build/default/vellumry

test: build
	ctest --preset default -j $(JOBS)

test-asan: deps
	$(CONFIGURE) asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS) -LE soak

test-clang: build
	$(CONFIGURE) clang
	cmake --build --preset clang -j $(JOBS)
	ctest --preset clang -j $(JOBS) -LE 'e2e|soak'
	for o in O0 O2 O3_native; do \
	  cmp <(./build/default/tests/trajectory_O2) <(./build/clang/tests/trajectory_$$o) || exit 1; \
	done
	@echo "clang++ and g++ trajectories are identical"

tidy: build
	bash scripts/tidy.sh build/default

bench: build
	./build/default/bench/cloth_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
	bash bench/frame_rate.sh build/default

screenshots: build
	bash scripts/screenshots.sh build/default/vellumry

package: build
	cd build/default && cpack -G DEB

# Each fuzzer takes its share of FUZZ_SECONDS. The session fuzzer's seeds are every checked-in
# session, the scene fuzzer's every example scene, the mesh fuzzer's every mesh; what the fuzzers
# add stays in build/fuzz. They run there: the mesh reader's child process, which may abort on a
# file (the reader then refuses it), leaves its report and the file that made it abort there too.
FUZZERS = session scene mesh
FUZZ_SHARE = $$(( $(FUZZ_SECONDS) / $(words $(FUZZERS)) ))
FUZZ_FLAGS = -max_total_time=$(FUZZ_SHARE) -close_fd_mask=3 -print_final_stats=1

fuzz: deps
	$(CONFIGURE) fuzz
	cmake --build --preset fuzz -j $(JOBS) --target $(addsuffix _fuzz,$(FUZZERS))
	mkdir -p build/fuzz/corpus build/fuzz/scene-corpus build/fuzz/mesh-corpus
	cp tests/sessions/*.session data/sessions/*.session tests/fuzz/*.session build/fuzz/corpus/
	cp data/scenes/*.toml build/fuzz/scene-corpus/
	cp data/meshes/* build/fuzz/mesh-corpus/
	cd build/fuzz && ./session_fuzz $(FUZZ_FLAGS) -max_len=8192 \
	  -dict=$(CURDIR)/tests/fuzz/session.dict corpus
	cd build/fuzz && ./scene_fuzz $(FUZZ_FLAGS) -max_len=8192 \
	  -dict=$(CURDIR)/tests/fuzz/scene.dict scene-corpus
	cd build/fuzz && ./mesh_fuzz $(FUZZ_FLAGS) -max_len=4096 mesh-corpus

# The 400-tick session, every tick, at 288 by 288: about 570 kB.
demo: build
	./build/default/vellumry --replay data/sessions/demo.session --render docs/demo.webp \
	  --size 288x288 --force --quiet
	./build/default/vellumry --replay data/sessions/drape.session --render docs/drape.webp \
	  --size 288x288 --force --quiet
	./build/default/vellumry --replay data/sessions/tablecloth.session \
	  --render docs/tablecloth.webp --size 288x288 --force --quiet

clean:
	rm -rf build
