#!/usr/bin/env python3
"""Writes the fixed-radix DFT kernels of the FFT engine (engine/kernels/).

For every radix the output file holds three straight-line kernels with their
cosines and sines as literal constants:

  Complex  the r-point DFT (sign -1) of r complex values, in place;
  Real     the r-point DFT of r real values, written in half-complex order;
  Half     the DFT of r real values premultiplied by e^(-pi*i*q/r), the column
           j = m/2 of the real twiddle pass (outputs X_k for k < ceil(r/2):
           o[k] = Re X_k, o[r-1-k] = Im X_k).

The kernels are built as expression graphs with common subexpressions shared
and zeros propagated, so that the real kernels come out of the same algorithm
as the complex ones. Each kernel is evaluated here in double precision, in the
order of the emitted code, and checked against a direct DFT before anything is
written.

Usage:  gen_kernels.py OUTDIR          write the kernel files into OUTDIR
        gen_kernels.py --check OUTDIR  exit 1 when OUTDIR differs from the output
"""

import argparse
import cmath
import os
import random
import sys
from decimal import Decimal, getcontext

RADICES = [2, 3, 4, 5, 7, 8, 9, 10, 11, 13, 14, 16, 17, 18, 19, 29, 31, 32, 37, 41, 43]

# ---------------------------------------------------------------------------
# Constants: cos and sin of 2*pi*num/den, correctly rounded to double.

getcontext().prec = 70
_PI = Decimal(
    "3.14159265358979323846264338327950288419716939937510582097494459230781640628620899863"
)


def _taylor(x, first, power):
    """Sum of (-1)^k x^(first + 2k) / (first + 2k)! in Decimal."""
    term = x**first / power
    total = term
    k = first
    eps = Decimal(10) ** -(getcontext().prec - 2)
    while abs(term) > eps:
        term = -term * x * x / ((k + 1) * (k + 2))
        total += term
        k += 2
    return total


_trig_cache = {}


def cos_sin(num, den):
    """(cos, sin) of 2*pi*num/den as doubles; exact at quarter turns."""
    num %= den
    key = (num, den)
    if key in _trig_cache:
        return _trig_cache[key]
    if (4 * num) % den == 0:
        value = [(1.0, 0.0), (0.0, 1.0), (-1.0, 0.0), (0.0, -1.0)][4 * num // den]
    else:
        x = 2 * _PI * num / den
        if x > _PI:
            x -= 2 * _PI
        value = (float(_taylor(x, 0, 1)), float(_taylor(x, 1, 1)))
    _trig_cache[key] = value
    return value


def twiddle(k, n):
    """e^(-2*pi*i*k/n) as (re, im)."""
    c, s = cos_sin(k, n)
    return (c, -s)


# ---------------------------------------------------------------------------
# Expression graph. A term is None (exact zero) or (node, sign) with sign +1
# or -1, so that negations cost nothing until a value is stored.


class Node:
    __slots__ = ("id", "op", "args", "const", "name")

    def __init__(self, ident, op, args, const=None, name=None):
        self.id = ident
        self.op = op
        self.args = args
        self.const = const
        self.name = name


class Dag:
    def __init__(self):
        self.nodes = []
        self.memo = {}

    def _make(self, key, op, args, const=None, name=None):
        node = self.memo.get(key)
        if node is None:
            node = Node(len(self.nodes), op, args, const, name)
            self.nodes.append(node)
            self.memo[key] = node
        return node

    def input(self, name):
        return (self._make(("in", name), "in", (), name=name), 1)

    @staticmethod
    def neg(a):
        return None if a is None else (a[0], -a[1])

    def add(self, a, b):
        if a is None:
            return b
        if b is None:
            return a
        (na, sa), (nb, sb) = a, b
        if sa == sb:
            x, y = (na, nb) if na.id <= nb.id else (nb, na)
            return (self._make(("add", x.id, y.id), "add", (x, y)), sa)
        if na is nb:
            return None
        # sa * (na - nb), kept with the older node first
        if na.id < nb.id:
            return (self._make(("sub", na.id, nb.id), "sub", (na, nb)), sa)
        return (self._make(("sub", nb.id, na.id), "sub", (nb, na)), -sa)

    def sub(self, a, b):
        return self.add(a, self.neg(b))

    def mul(self, c, a):
        if a is None or c == 0.0:
            return None
        if c == 1.0:
            return a
        if c == -1.0:
            return self.neg(a)
        node, sign = a
        if c < 0:
            c, sign = -c, -sign
        return (self._make(("mul", c, node.id), "mul", (node,), const=c), sign)


# Complex values are pairs (re, im) of terms.


def cadd(D, a, b):
    return (D.add(a[0], b[0]), D.add(a[1], b[1]))


def csub(D, a, b):
    return (D.sub(a[0], b[0]), D.sub(a[1], b[1]))


def cscale(D, c, z):
    return (D.mul(c, z[0]), D.mul(c, z[1]))


def times_minus_i(D, z):
    return (z[1], D.neg(z[0]))


def cmul(D, z, w):
    """z times the constant w = (c, s)."""
    c, s = w
    zr, zi = z
    if c != 0.0 and abs(c) == abs(s):
        if s == c:
            return (D.mul(c, D.sub(zr, zi)), D.mul(c, D.add(zr, zi)))
        return (D.mul(c, D.add(zr, zi)), D.mul(c, D.sub(zi, zr)))
    return (D.sub(D.mul(c, zr), D.mul(s, zi)), D.add(D.mul(s, zr), D.mul(c, zi)))


# ---------------------------------------------------------------------------
# DFT algorithms on lists of complex terms (forward sign).


def is_prime(n):
    return n > 1 and all(n % d for d in range(2, int(n**0.5) + 1))


def dft(D, x):
    n = len(x)
    if n == 1:
        return list(x)
    if n == 2:
        return [cadd(D, x[0], x[1]), csub(D, x[0], x[1])]
    if n == 32:
        return radix2_step(D, x)
    if n & (n - 1) == 0:
        return split_radix(D, x)
    if n in (10, 14, 18):
        return prime_factor(D, x)
    if n == 9:
        return cooley_tukey(D, x, 3, 3)
    if is_prime(n):
        return prime_dft(D, x)
    raise ValueError("no algorithm for %d" % n)


def split_radix(D, x):
    n = len(x)
    u = dft(D, x[0::2])
    z1 = dft(D, x[1::4])
    z3 = dft(D, x[3::4])
    out = [None] * n
    q = n // 4
    for k in range(q):
        a = cmul(D, z1[k], twiddle(k, n))
        b = cmul(D, z3[k], twiddle(3 * k, n))
        s = cadd(D, a, b)
        d = times_minus_i(D, csub(D, a, b))
        out[k] = cadd(D, u[k], s)
        out[k + 2 * q] = csub(D, u[k], s)
        out[k + q] = cadd(D, u[k + q], d)
        out[k + 3 * q] = csub(D, u[k + q], d)
    return out


def radix2_step(D, x):
    """32 points: one radix-2 step over two 16-point DFTs, with the stored
    constants cos(2*pi*k/32) and -sin(2*pi*k/32), k = 1 ... 15."""
    n = len(x)
    h = n // 2
    even = dft(D, x[0::2])
    odd = dft(D, x[1::2])
    out = [None] * n
    for k in range(h):
        t = odd[k] if k == 0 else cmul(D, odd[k], twiddle(k, n))
        out[k] = cadd(D, even[k], t)
        out[k + h] = csub(D, even[k], t)
    return out


def prime_factor(D, x):
    """2*h points (h odd) by the prime-factor mapping: E takes the even-indexed
    inputs, O the odd ones in the rotated order x[(h + 2t) mod 2h], and
    X[k] = E[k mod h] + O[k mod h] for even k, E[k mod h] - O[k mod h] for odd k."""
    n = len(x)
    h = n // 2
    even = dft(D, [x[(2 * t) % n] for t in range(h)])
    odd = dft(D, [x[(h + 2 * t) % n] for t in range(h)])
    return [
        cadd(D, even[k % h], odd[k % h]) if k % 2 == 0 else csub(D, even[k % h], odd[k % h])
        for k in range(n)
    ]


def cooley_tukey(D, x, n1, n2):
    """n1*n2 points: n2 inner DFTs of length n1 over x[n2*j1 + j2], twiddles,
    n1 outer DFTs of length n2; output X[k1 + n1*k2]."""
    n = n1 * n2
    inner = [dft(D, [x[n2 * j1 + j2] for j1 in range(n1)]) for j2 in range(n2)]
    out = [None] * n
    for k1 in range(n1):
        col = [
            inner[j2][k1] if j2 * k1 == 0 else cmul(D, inner[j2][k1], twiddle(j2 * k1, n))
            for j2 in range(n2)
        ]
        res = dft(D, col)
        for k2 in range(n2):
            out[k1 + n1 * k2] = res[k2]
    return out


def prime_dft(D, x):
    """Odd prime r: with s_k = x_k + x_(r-k), d_k = x_k - x_(r-k),
    X_u = x_0 + sum c*s_k - i*sum s*d_k and X_(r-u) = x_0 + sum c*s_k + i*sum s*d_k."""
    r = len(x)
    h = (r - 1) // 2
    s = [cadd(D, x[k], x[r - k]) for k in range(1, h + 1)]
    d = [csub(D, x[k], x[r - k]) for k in range(1, h + 1)]
    out = [None] * r
    total = x[0]
    for k in range(h):
        total = cadd(D, total, s[k])
    out[0] = total
    for u in range(1, h + 1):
        a = x[0]
        b = (None, None)
        for k in range(1, h + 1):
            c, sn = cos_sin(u * k, r)
            a = cadd(D, a, cscale(D, c, s[k - 1]))
            b = cadd(D, b, cscale(D, sn, d[k - 1]))
        out[u] = (D.add(a[0], b[1]), D.sub(a[1], b[0]))
        out[r - u] = (D.sub(a[0], b[1]), D.add(a[1], b[0]))
    return out


# ---------------------------------------------------------------------------
# The three kernels of a radix. Each returns (dag, inputs, outputs) where
# inputs are names and outputs are lists of (array, index, term).


def complex_kernel(r):
    D = Dag()
    x = [(D.input("r%d" % q), D.input("i%d" % q)) for q in range(r)]
    X = dft(D, x)
    outs = [("re", k, X[k][0]) for k in range(r)] + [("im", k, X[k][1]) for k in range(r)]
    return D, outs


def real_kernel(r):
    D = Dag()
    X = dft(D, [(D.input("x%d" % q), None) for q in range(r)])
    outs = [("x", k, X[k][0]) for k in range(r // 2 + 1)]
    outs += [("x", r - k, X[k][1]) for k in range(1, (r + 1) // 2)]
    return D, outs


def half_outputs(X, r):
    outs = [("x", k, X[k][0]) for k in range((r + 1) // 2)]
    outs += [("x", r - 1 - k, X[k][1]) for k in range(r // 2)]
    return outs


def half_kernel_premultiplied(r):
    """Premultiply by e^(-pi*i*q/r), then the radix's own DFT."""
    D = Dag()
    x = []
    for q in range(r):
        v = D.input("x%d" % q)
        c, s = cos_sin(q, 2 * r)
        x.append((D.mul(c, v), D.mul(-s, v)))
    return D, half_outputs(dft(D, x), r)


def half_kernel_direct(r):
    """X_k = sum_q x_q e^(-pi*i*q*(2k+1)/r), pairing q with r-q:
    Re X_k = x_0 + sum (x_q - x_(r-q)) cos(pi*q*(2k+1)/r),
    Im X_k = -sum (x_q + x_(r-q)) sin(pi*q*(2k+1)/r) [- (-1)^k x_(r/2) for even r]."""
    D = Dag()
    x = [D.input("x%d" % q) for q in range(r)]
    h = (r - 1) // 2
    diff = [D.sub(x[q], x[r - q]) for q in range(1, h + 1)]
    summ = [D.add(x[q], x[r - q]) for q in range(1, h + 1)]
    X = []
    for k in range((r + 1) // 2):
        re = x[0]
        im = None
        for q in range(1, h + 1):
            c, s = cos_sin(q * (2 * k + 1), 2 * r)
            re = D.add(re, D.mul(c, diff[q - 1]))
            im = D.sub(im, D.mul(s, summ[q - 1]))
        if r % 2 == 0:
            mid = x[r // 2]
            im = D.sub(im, mid) if k % 2 == 0 else D.add(im, mid)
        X.append((re, im))
    return D, half_outputs(X, r)


# ---------------------------------------------------------------------------
# Liveness, evaluation, emission.


def live_nodes(D, outs):
    live = set()
    stack = [t[0] for (_, _, t) in outs if t is not None]
    while stack:
        node = stack.pop()
        if node.id in live:
            continue
        live.add(node.id)
        stack.extend(node.args)
    return [n for n in D.nodes if n.id in live]


def op_counts(D, outs):
    adds = muls = 0
    for n in live_nodes(D, outs):
        if n.op in ("add", "sub"):
            adds += 1
        elif n.op == "mul":
            muls += 1
    negs = sum(1 for (_, _, t) in outs if t is not None and t[1] < 0)
    return adds, muls, negs


def evaluate(D, outs, inputs):
    """Runs the graph in double precision, in emission order."""
    value = {}
    for n in live_nodes(D, outs):
        if n.op == "in":
            value[n.id] = inputs[n.name]
        elif n.op == "add":
            value[n.id] = value[n.args[0].id] + value[n.args[1].id]
        elif n.op == "sub":
            value[n.id] = value[n.args[0].id] - value[n.args[1].id]
        else:
            value[n.id] = value[n.args[0].id] * n.const
    result = {}
    for arr, idx, t in outs:
        result[(arr, idx)] = 0.0 if t is None else t[1] * value[t[0].id]
    return result


def fmt(c):
    text = repr(c)
    if "e" not in text and "." not in text:
        text += ".0"
    return text


def emit_body(D, outs, indent, hazards):
    """Straight-line code in the order the graph was built. Inputs are loaded
    just before their first use; outputs are stored in groups of four
    consecutive indices (so that a pass can transpose them) as soon as a group
    is complete and every input its places may share (`hazards`) is loaded."""
    nodes = live_nodes(D, outs)
    complex_io = any(arr == "im" for (arr, _, _) in outs)
    by_index = {}
    for arr, idx, t in outs:
        by_index.setdefault(idx, {})[arr] = t
    groups = sorted({idx // 4 for idx in by_index})
    names = {}
    loaded = set()
    used_inputs = {int(n.name[1:]) for n in nodes if n.op == "in"}
    lines = []
    count = [0]

    def load(index):
        if index in loaded:
            return
        loaded.add(index)
        if complex_io:
            lines.append("const auto [r%d, i%d] = io.Load(%d);" % (index, index, index))
        else:
            lines.append("const V x%d = io.Load(%d);" % (index, index))

    def term(t):
        if t is None:
            return "V{}"
        return ("-" if t[1] < 0 else "") + names[t[0].id]

    def ready(group):
        for idx in range(4 * group, 4 * group + 4):
            if idx not in by_index:
                continue
            for t in by_index[idx].values():
                if t is not None and t[0].id not in names:
                    return False
            if any(h in used_inputs and h not in loaded for h in hazards(idx)):
                return False
        return True

    pending = list(groups)

    def flush():
        for group in list(pending):
            if not ready(group):
                continue
            pending.remove(group)
            for idx in range(4 * group, 4 * group + 4):
                if idx not in by_index:
                    continue
                parts = by_index[idx]
                if complex_io:
                    lines.append("io.Store(%d, %s, %s);" % (idx, term(parts["re"]), term(parts["im"])))
                else:
                    lines.append("io.Store(%d, %s);" % (idx, term(parts["x"])))

    for n in nodes:
        if n.op == "in":
            continue
        for a in n.args:
            if a.op == "in":
                load(int(a.name[1:]))
                names[a.id] = a.name
        name = "t%d" % count[0]
        count[0] += 1
        names[n.id] = name
        if n.op == "add":
            expr = "%s + %s" % (names[n.args[0].id], names[n.args[1].id])
        elif n.op == "sub":
            expr = "%s - %s" % (names[n.args[0].id], names[n.args[1].id])
        else:
            expr = "%s * %s" % (names[n.args[0].id], fmt(n.const))
        lines.append("const V %s = %s;" % (name, expr))
        flush()
    for n in nodes:
        if n.op == "in" and n.id not in names:
            load(int(n.name[1:]))
            names[n.id] = n.name
    flush()
    assert not pending
    return "\n".join(indent + line for line in lines)


def emit_pair(D, outs, indent):
    """The complex kernel of a radix built as one radix-2 step over two
    half-length DFTs, for two transforms A and B at once: the two halves of
    both run as one half-length DFT in four lanes (A even, B even, A odd,
    B odd), whose load p holds inputs 2p (lanes 0, 1) and 2p+1 (lanes 2, 3),
    and the step in two lanes (A, B). Every lane computes its node of the
    graph with the graph's own operation, so that the results are the complex
    kernel's bit for bit."""
    nodes = live_nodes(D, outs)
    side = {}  # node id -> 0 (even inputs only), 1 (odd only), 2 (both)
    for n in nodes:
        if n.op == "in":
            side[n.id] = int(n.name[1:]) % 2
        else:
            sides = {side[a.id] for a in n.args}
            side[n.id] = sides.pop() if len(sides) == 1 else 2
    even = [n for n in nodes if n.op != "in" and side[n.id] == 0]
    # The halves were built one after the other by the same code: node i of
    # the odd half is node i of the even half on the odd inputs. The odd
    # nodes after them are the step's twiddle products.
    odd = [n for n in nodes if n.op != "in" and side[n.id] == 1][: len(even)]
    in_half = {n.id for n in even + odd}
    step = [n for n in nodes if n.op != "in" and n.id not in in_half]
    partner = {}
    for e, o in zip(even, odd):
        assert e.op == o.op and e.const == o.const
        for a, b in zip(e.args, o.args):
            if a.op == "in":
                assert b.op == "in" and b.name[0] == a.name[0] and int(b.name[1:]) == int(a.name[1:]) + 1
            else:
                assert partner[a.id] is b
        partner[e.id] = o
    half_of = {}
    for e in even:
        half_of[e.id] = (e, 0)
        half_of[partner[e.id].id] = (e, 1)
    lines = []
    names = {}
    loaded = set()
    count = [0]

    def arg4(a):
        if a.op == "in":
            p = int(a.name[1:]) // 2
            if p not in loaded:
                loaded.add(p)
                if a.name[0] == "x":
                    lines.append("const V x%d = io.Load(%d);" % (p, p))
                else:
                    lines.append("const auto [r%d, i%d] = io.Load(%d);" % (p, p, p))
            return "%s%d" % (a.name[0], p)
        return names[a.id]

    def expr(n, arg):
        if n.op == "add":
            return "%s + %s" % (arg(n.args[0]), arg(n.args[1]))
        if n.op == "sub":
            return "%s - %s" % (arg(n.args[0]), arg(n.args[1]))
        return "%s * %s" % (arg(n.args[0]), fmt(n.const))

    def emit(n, arg, vector):
        name = "t%d" % count[0]
        count[0] += 1
        e = expr(n, arg)
        names[n.id] = name
        lines.append("const %s %s = %s;" % (vector, name, e))

    for n in even:
        emit(n, arg4, "V")
    halves = {}

    def arg2(a):
        assert a.op != "in"
        if a.id not in half_of:
            return names[a.id]
        e, h = half_of[a.id]
        key = (e.id, h)
        if key not in halves:
            halves[key] = "%s%s" % (names[e.id], "o" if h else "e")
            lines.append("const H %s = %s(%s);" % (halves[key], "High" if h else "Low", names[e.id]))
        return halves[key]

    for n in step:
        emit(n, arg2, "H")
    by_index = {}
    for arr, idx, t in outs:
        assert t is not None
        by_index.setdefault(idx, {})[arr] = ("-" if t[1] < 0 else "") + arg2(t[0])
    for idx in sorted(by_index):
        parts = by_index[idx]
        if "x" in parts:
            lines.append("io.Store(%d, %s);" % (idx, parts["x"]))
        else:
            lines.append("io.Store(%d, %s, %s);" % (idx, parts["re"], parts["im"]))
    return "\n".join(indent + line for line in lines)


PAIR = """

    // Complex and Real on two sets of {r} inputs, A and B, at once. Load p
    // gives inputs 2p (lanes 0, 1: A, B) and 2p+1 (lanes 2, 3) in vectors of
    // four lanes; Store(k, ...) takes output k of A and B in two lanes. The
    // results are those of Complex and Real, bit for bit.
    template <class IO>
    ENGINE_KERNEL void Pair(IO& io) {{
        using V = typename IO::Value;
        using H = typename IO::Half;
{complex}
    }}

    template <class IO>
    ENGINE_KERNEL void RealPair(IO& io) {{
        using V = typename IO::Value;
        using H = typename IO::Half;
{real}
    }}"""

# ---------------------------------------------------------------------------
# Checks against a direct DFT.


def direct_dft(x, sign=-1):
    n = len(x)
    return [
        sum(x[j] * cmath.exp(sign * 2j * cmath.pi * j * k / n) for j in range(n)) for k in range(n)
    ]


def check(r, kernels):
    rng = random.Random(r)
    xs = [complex(rng.uniform(-1, 1), rng.uniform(-1, 1)) for _ in range(r)]
    tol = 1e-13 * r
    D, outs = kernels["Complex"]
    got = evaluate(D, outs, dict([("r%d" % q, xs[q].real) for q in range(r)] +
                                 [("i%d" % q, xs[q].imag) for q in range(r)]))
    want = direct_dft(xs)
    for k in range(r):
        if abs(complex(got[("re", k)], got[("im", k)]) - want[k]) > tol:
            raise AssertionError("complex kernel %d wrong at %d" % (r, k))
    xr = [v.real for v in xs]
    want = direct_dft(xr)
    D, outs = kernels["Real"]
    got = evaluate(D, outs, {"x%d" % q: xr[q] for q in range(r)})
    for k in range(r // 2 + 1):
        im = got[("x", r - k)] if 0 < k < (r + 1) // 2 else 0.0
        if abs(complex(got[("x", k)], im) - want[k]) > tol:
            raise AssertionError("real kernel %d wrong at %d" % (r, k))
    shifted = [xr[q] * cmath.exp(-1j * cmath.pi * q / r) for q in range(r)]
    want = direct_dft(shifted)
    D, outs = kernels["Half"]
    got = evaluate(D, outs, {"x%d" % q: xr[q] for q in range(r)})
    for k in range((r + 1) // 2):
        im = got[("x", r - 1 - k)] if k < r // 2 else 0.0
        if abs(complex(got[("x", k)], im) - want[k]) > tol:
            raise AssertionError("half kernel %d wrong at %d" % (r, k))


# ---------------------------------------------------------------------------
# Files.

HEADER = """\
// Generated by engine/gen/gen_kernels.py; do not edit.
// clang-format off
// Radix-{r} kernels: {cx[0]} additions and {cx[1]} multiplications (complex),
// {re[0]} and {re[1]} (real), {hf[0]} and {hf[1]} (half-sample column).

#include "passes.h"

namespace engine {{
namespace ENGINE_ISA_NS {{
namespace {{

// Each kernel reads its inputs through io.Load(q) and writes its outputs
// through io.Store(k, ...); the pass's accessor decides where they live.
struct Dft{r} {{
    static constexpr int kRadix = {r};

    // (re, im)[k] = sum_q (re, im)[q] e^(-2 pi i qk/{r}). Output k is stored
    // after inputs k and {last}-k are loaded.
    template <class IO>
    ENGINE_KERNEL void Complex(IO& io) {{
        using V = typename IO::Value;
{complex}
    }}

    // The DFT of {r} real values in half-complex order. Output k is stored
    // after input k is loaded.
    template <class IO>
    ENGINE_KERNEL void Real(IO& io) {{
        using V = typename IO::Value;
{real}
    }}

    // X_k = sum_q x_q e^(-pi i q(2k+1)/{r}) of {r} real values x_q, for
    // k < ceil({r}/2): output k is Re X_k, output {r}-1-k is Im X_k. Output k is
    // stored after input k is loaded.
    template <class IO>
    ENGINE_KERNEL void Half(IO& io) {{
        using V = typename IO::Value;
{half}
    }}{pair}
}};

}}  // namespace

extern const KernelEntry kRadix{r};
const KernelEntry kRadix{r} = MakeKernelEntry<Dft{r}>();

}}  // namespace ENGINE_ISA_NS
}}  // namespace engine
"""


def build(r):
    kernels = {"Complex": complex_kernel(r), "Real": real_kernel(r)}
    candidates = [half_kernel_direct(r)]
    if not is_prime(r):
        candidates.append(half_kernel_premultiplied(r))
    kernels["Half"] = min(candidates, key=lambda k: sum(op_counts(*k)))
    check(r, kernels)
    ind = " " * 8
    return HEADER.format(
        r=r,
        last=r - 1,
        cx=op_counts(*kernels["Complex"]),
        re=op_counts(*kernels["Real"]),
        hf=op_counts(*kernels["Half"]),
        complex=emit_body(*kernels["Complex"], ind, lambda k: (k, r - 1 - k)),
        real=emit_body(*kernels["Real"], ind, lambda k: (k,)),
        half=emit_body(*kernels["Half"], ind, lambda k: (k,)),
        pair=(
            PAIR.format(
                r=r,
                complex=emit_pair(*kernels["Complex"], ind),
                real=emit_pair(*kernels["Real"], ind),
            )
            if r == 32
            else ""
        ),
    )


def outputs():
    return {"dft%d.cpp" % r: build(r) for r in RADICES}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("outdir")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    files = outputs()
    if args.check:
        stale = []
        for name, text in sorted(files.items()):
            path = os.path.join(args.outdir, name)
            try:
                with open(path, encoding="utf-8", newline="") as f:
                    if f.read() == text:
                        continue
            except OSError:
                pass
            stale.append(name)
        if stale:
            print("differ from the generator's output: " + ", ".join(stale), file=sys.stderr)
            return 1
        print("%d kernel files match the generator's output" % len(files))
        return 0
    os.makedirs(args.outdir, exist_ok=True)
    for name, text in files.items():
        with open(os.path.join(args.outdir, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
