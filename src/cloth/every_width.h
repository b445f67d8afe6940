#pragma once

// The loops of the step and of the band work between time steps are built for three vector
// widths and the widest the processor has is chosen when the program starts; square roots and
// divisions are exact at every width, so each gives the same bits. Not under ThreadSanitizer,
// whose instrumented choosers would run before it has started.
#if defined(__x86_64__) && defined(__has_attribute) && !defined(__SANITIZE_THREAD__)
#if __has_attribute(target_clones)
#define VELLUMRY_EVERY_WIDTH __attribute__((target_clones("avx512f", "avx2", "default")))
#endif
#endif
#ifndef VELLUMRY_EVERY_WIDTH
#define VELLUMRY_EVERY_WIDTH
#endif
