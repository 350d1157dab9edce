/* Wine's math.h with the functions that libc++'s <math.h> names and Wine's headers lack:
 * chiefly the long double forms. In this ABI long double is double; the functions are declared
 * only, as the universal C runtime declares them, so that a call would be a link error rather
 * than a result of the wrong precision. */
#include_next <math.h>

#ifndef VESK_MSVC_MATH_H
#define VESK_MSVC_MATH_H
#ifdef __cplusplus
extern "C" {
#endif

#define VESK_LD_1(name) long double __cdecl name(long double);
#define VESK_LD_2(name) long double __cdecl name(long double, long double);
// A list of declarations, not a statement: kept as written.
// clang-format off
VESK_LD_1(acoshl) VESK_LD_1(acosl) VESK_LD_1(asinhl) VESK_LD_1(asinl) VESK_LD_1(atanhl)
VESK_LD_1(atanl) VESK_LD_1(cbrtl) VESK_LD_1(ceill) VESK_LD_1(coshl) VESK_LD_1(cosl)
VESK_LD_1(erfcl) VESK_LD_1(erfl) VESK_LD_1(exp2l) VESK_LD_1(expl) VESK_LD_1(expm1l)
VESK_LD_1(fabsl) VESK_LD_1(floorl) VESK_LD_1(lgammal) VESK_LD_1(log10l) VESK_LD_1(log1pl)
VESK_LD_1(log2l) VESK_LD_1(logbl) VESK_LD_1(logl) VESK_LD_1(nearbyintl) VESK_LD_1(sinhl)
VESK_LD_1(sinl) VESK_LD_1(sqrtl) VESK_LD_1(tanhl) VESK_LD_1(tanl) VESK_LD_1(tgammal)
VESK_LD_2(atan2l) VESK_LD_2(fdiml) VESK_LD_2(fmaxl) VESK_LD_2(fminl) VESK_LD_2(fmodl)
VESK_LD_2(hypotl) VESK_LD_2(nextafterl) VESK_LD_2(nexttowardl) VESK_LD_2(powl)
VESK_LD_2(remainderl)
// clang-format on
#undef VESK_LD_1
#undef VESK_LD_2
                                        long double __cdecl frexpl(long double, int*);
int __cdecl ilogbl(long double);
long double __cdecl ldexpl(long double, int);
long double __cdecl modfl(long double, long double*);
long double __cdecl remquol(long double, long double, int*);
long double __cdecl scalblnl(long double, long);
long double __cdecl scalbnl(long double, int);
double __cdecl erfc(double);
float __cdecl erfcf(float);
double __cdecl nexttoward(double, long double);
float __cdecl nexttowardf(float, long double);

#ifdef __cplusplus
}
#endif
#endif
