#pragma once
// Vector registers beyond baseline x86-64 that the processor offers, for the decoders' run-time choice
// of code. Asked once; always false where the compiler cannot target them.

namespace dova::cpu {

#if defined(__x86_64__) && defined(__GNUC__)
#define LATIS_X86_VECTORS 1

inline bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init(); // may run before the constructors that would do it
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

inline bool HasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    return has;
}
#else
inline bool HasAvx2() {
    return false;
}
inline bool HasAvx512() {
    return false;
}
#endif

} // namespace dova::cpu
