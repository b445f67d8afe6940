#pragma once

// The loops of the step, of the band work between time steps and of the contacts' refit are
// built for three vector widths and the widest the processor has is chosen when the program
// starts; square roots and divisions are exact at every width, so each gives the same bits.
// Only with g++: clang++ 14 builds these functions, declared first without the attribute, for
// the widest alone, which stops at its first instruction on a processor without it. Not under
// ThreadSanitizer either, whose instrumented choosers would run before it has started.
#if defined(__x86_64__) && defined(__has_attribute) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#if __has_attribute(target_clones)
#define VELLUMRY_EVERY_WIDTH __attribute__((target_clones("avx512f", "avx2", "default")))
#endif
#endif
#ifndef VELLUMRY_EVERY_WIDTH
#define VELLUMRY_EVERY_WIDTH
#endif
