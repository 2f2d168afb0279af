// The decomposition of affine matrices into translation, rotation, stretch and mirror
// (decomp_affine, DecomposeMatrix, DecomposeMatrices): a polar decomposition by Newton's
// iteration, then the stretch's eigen-decomposition by Jacobi rotations, both in double.
#include <algorithm>
#include <array>
#include <cfloat>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sdk/mat3d.h"
#include "sdk/math.h"

using namespace math_detail;

namespace {

// A plain 3-vector of doubles, for the singular-value fallback.
struct Vec3d {
    double v[3] = {0, 0, 0};
};

Vec3d Column(const Mat3d& x, int j) { return {{x.a[0][j], x.a[1][j], x.a[2][j]}}; }
void SetColumn(Mat3d& x, int j, const Vec3d& c) {
    for (int i = 0; i < 3; ++i) x.a[i][j] = c.v[i];
}
Vec3d MulMatVec(const Mat3d& x, const Vec3d& c) {
    Vec3d r;
    for (int i = 0; i < 3; ++i) r.v[i] = x.a[i][0] * c.v[0] + x.a[i][1] * c.v[1] + x.a[i][2] * c.v[2];
    return r;
}
double Dot(const Vec3d& p, const Vec3d& q) { return p.v[0] * q.v[0] + p.v[1] * q.v[1] + p.v[2] * q.v[2]; }
double Length(const Vec3d& p) { return std::sqrt(Dot(p, p)); }
Vec3d Scaled(const Vec3d& p, double s) { return {{p.v[0] * s, p.v[1] * s, p.v[2] * s}}; }
Vec3d Cross(const Vec3d& p, const Vec3d& q) {
    return {{p.v[1] * q.v[2] - p.v[2] * q.v[1], p.v[2] * q.v[0] - p.v[0] * q.v[2],
             p.v[0] * q.v[1] - p.v[1] * q.v[0]}};
}

// A unit vector perpendicular to the unit vector p.
Vec3d AnyPerpendicular(const Vec3d& p) {
    int axis = 0;  // the axis least aligned with p
    for (int i = 1; i < 3; ++i)
        if (std::abs(p.v[i]) < std::abs(p.v[axis])) axis = i;
    Vec3d e;
    e.v[axis] = 1;
    const Vec3d c = Cross(p, e);
    return Scaled(c, 1 / Length(c));
}

// ---------------------------------------------------------------------------------------------
// Symmetric eigen-decomposition by cyclic Jacobi rotations: s = v * diag(eigen) * v^T, with the
// eigenvectors in the columns of v (orthonormal). A bounded number of sweeps, so any input,
// also one holding NaNs, terminates.
//
// Each rotation is the identity turned in rows and columns p and q. Multiplying by it as a full
// matrix (Mul) adds, per element, products with its zeros and ones to a sum that starts at +0;
// the turned rows and columns below leave those out. For finite operands that is exact: a
// product with 0 is a zero, a product with 1 the value itself, and a sum that starts at +0
// never becomes -0, so adding zeros to it changes nothing (the +0 it starts from is kept, so a
// -0 operand still comes out as +0). Entries stay finite when they start far below the largest
// double, because the rotations keep the matrix's norm; other inputs take the full products.

// x * rot for the rotation of columns p and q by (c, sn) (rot[p][q] = sn, rot[q][p] = -sn),
// r the third column.
void TurnColumns(Mat3d& x, int p, int q, int r, double c, double sn) {
    for (auto& row : x.a) {
        const double xp = row[p], xq = row[q];
        row[p] = (0.0 + xp * c) + xq * (-sn);
        row[q] = (0.0 + xp * sn) + xq * c;
        row[r] = 0.0 + row[r];
    }
}

// rot^T * x for the same rotation.
void TurnRows(Mat3d& x, int p, int q, int r, double c, double sn) {
    for (int j = 0; j < 3; ++j) {
        const double xp = x.a[p][j], xq = x.a[q][j];
        x.a[p][j] = (0.0 + c * xp) + (-sn) * xq;
        x.a[q][j] = (0.0 + sn * xp) + c * xq;
        x.a[r][j] = 0.0 + x.a[r][j];
    }
}

// The rotations of a sweep, in order: (p, q) = (0, 1), (0, 2), (1, 2).
constexpr int kSweepPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};

bool Bounded(const Mat3d& s) {
    bool bounded = true;
    for (const auto& row : s.a)
        for (const double x : row) bounded = bounded && std::abs(x) < 1e300;
    return bounded;
}

// True when the sweep should stop: what is off the diagonal is negligible (or zero, or NaN).
bool SweepsDone(const Mat3d& s) {
    double off = 0, all = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) (i == j ? all : off) += s.a[i][j] * s.a[i][j];
    all += off;
    return !(off > 1e-30 * all);
}

// The Jacobi sweeps from the given sweep and rotation of that sweep on (the sweep's stop test
// is made before its first rotation only).
void JacobiFrom(Mat3d& s, Mat3d& v, bool bounded, int sweep, int pair) {
    for (; sweep < 50; ++sweep, pair = 0) {
        if (pair == 0 && SweepsDone(s)) break;
        for (; pair < 3; ++pair) {
            const int p = kSweepPairs[pair][0], q = kSweepPairs[pair][1];
            const double apq = s.a[p][q];
            if (apq == 0) continue;
            // Rotation angle phi that zeroes s[p][q]: cot(2 phi) = theta.
            const double theta = (s.a[q][q] - s.a[p][p]) / (2 * apq);
            double t;  // tan(phi), the smaller root
            if (std::abs(theta) > 1e150)
                t = 0.5 / theta;
            else
                t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
            const double c = 1 / std::sqrt(t * t + 1), sn = t * c;
            if (bounded) {
                const int r = 3 - p - q;
                TurnColumns(s, p, q, r, c, sn);
                TurnRows(s, p, q, r, c, sn);
                TurnColumns(v, p, q, r, c, sn);
            } else {
                Mat3d rot;  // rows/columns p, q of the identity turned by phi
                rot.a[p][p] = c;
                rot.a[q][q] = c;
                rot.a[p][q] = sn;
                rot.a[q][p] = -sn;
                s = Mul(Transpose(rot), Mul(s, rot));
                v = Mul(v, rot);
            }
            s.a[p][q] = s.a[q][p] = 0;
        }
    }
}

void JacobiEigen(Mat3d s, double eigen[3], Mat3d& v) {
    v = Mat3d{};
    JacobiFrom(s, v, Bounded(s), 0, 0);
    for (int i = 0; i < 3; ++i) eigen[i] = s.a[i][i];
}

// ---------------------------------------------------------------------------------------------
// Polar decomposition l = s * q with q orthogonal (determinant +1 or -1) and s symmetric
// positive semi-definite. For a row-vector matrix this means: stretch by s, then turn (and
// possibly mirror) by q.

// Orthogonal factor of a singular or nearly singular l through its singular vectors. The
// missing directions are completed so that q is a proper rotation when l has rank below 3.
Mat3d OrthogonalFactorRankDeficient(const Mat3d& l) {
    double eigen[3];
    Mat3d w;
    JacobiEigen(Mul(Transpose(l), l), eigen, w);  // right singular vectors, sigma^2
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int i, int j) { return eigen[i] > eigen[j]; });
    Mat3d ws;
    for (int j = 0; j < 3; ++j) SetColumn(ws, j, Column(w, order[j]));

    Vec3d u0 = MulMatVec(l, Column(ws, 0));
    const double sigma0 = Length(u0);
    if (!(sigma0 > 0) || !std::isfinite(sigma0)) return Mat3d{};
    const double tiny = sigma0 * 1e-7;  // below this a direction is lost in float input noise
    u0 = Scaled(u0, 1 / sigma0);

    Vec3d u1 = MulMatVec(l, Column(ws, 1));
    const double along = Dot(u1, u0);
    for (int i = 0; i < 3; ++i) u1.v[i] -= along * u0.v[i];
    const double n1 = Length(u1);
    u1 = n1 > tiny ? Scaled(u1, 1 / n1) : AnyPerpendicular(u0);

    Vec3d u2 = Cross(u0, u1);
    const double side = Dot(MulMatVec(l, Column(ws, 2)), u2);
    // det(u) = sign; a lost third direction is chosen so that det(u * ws^T) = +1.
    const double sign = std::abs(side) > tiny ? (side > 0 ? 1.0 : -1.0) : (Det(ws) > 0 ? 1.0 : -1.0);
    u2 = Scaled(u2, sign);

    Mat3d u;
    SetColumn(u, 0, u0);
    SetColumn(u, 1, u1);
    SetColumn(u, 2, u2);
    return Mul(u, Transpose(ws));
}

// Whether OrthogonalFactor takes the Newton iteration for l; otherwise *q is its result.
bool StartsNewton(const Mat3d& l, Mat3d* q) {
    const double norm = NormF(l);
    if (!(norm > 0) || !std::isfinite(norm)) {
        *q = Mat3d{};
        return false;
    }
    if (!(std::abs(Det(l)) > 1e-10 * norm * norm * norm)) {
        *q = OrthogonalFactorRankDeficient(l);
        return false;
    }
    return true;
}

// The Newton iteration from q at the given iteration on.
Mat3d NewtonFrom(const Mat3d& l, Mat3d q, int iteration) {
    for (; iteration < 100; ++iteration) {
        const Mat3d cof = Cofactor(q);
        const double det = q.a[0][0] * cof.a[0][0] + q.a[0][1] * cof.a[0][1] + q.a[0][2] * cof.a[0][2];
        if (!(std::abs(det) > 0)) break;
        Mat3d invT;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) invT.a[i][j] = cof.a[i][j] / det;
        const double g = std::sqrt(NormF(invT) / NormF(q));
        Mat3d next;
        double change = 0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                next.a[i][j] = 0.5 * (g * q.a[i][j] + invT.a[i][j] / g);
                change += std::abs(next.a[i][j] - q.a[i][j]);
            }
        q = next;
        if (change <= 1e-13) return q;
    }
    return OrthogonalFactorRankDeficient(l);
}

// Orthogonal factor by the scaled Newton iteration q <- (g q + q^-T / g) / 2, which converges
// quadratically to the orthogonal polar factor for any non-singular start.
Mat3d OrthogonalFactor(const Mat3d& l) {
    Mat3d q;
    return StartsNewton(l, &q) ? NewtonFrom(l, l, 0) : q;
}

// The 24 proper rotations that permute the axes and flip their signs, as (permutation, signs):
// row i of the rotation is signs[i] times unit vector perm[i].
struct AxisRotation {
    int perm[3];
    double sign[3];
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Affine decomposition

namespace {

// The 24 proper ones, permutations in lexicographic order and for each the sign patterns in
// binary order (bit i flips row i), the identity first.
constexpr std::array<AxisRotation, 24> MakeAxisRotations() {
    std::array<AxisRotation, 24> out{};
    size_t n = 0;
    int perm[3] = {0, 1, 2};
    do {
        // The determinant of the signed permutation: the permutation's parity times the signs.
        int parity = 1;
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j)
                if (perm[i] > perm[j]) parity = -parity;
        for (int signs = 0; signs < 8; ++signs) {
            const int flips = (signs & 1) + (signs >> 1 & 1) + (signs >> 2 & 1);
            if ((flips % 2 ? -parity : parity) < 0) continue;
            out[n++] = {{perm[0], perm[1], perm[2]},
                        {signs & 1 ? -1.0 : 1.0, signs & 2 ? -1.0 : 1.0, signs & 4 ? -1.0 : 1.0}};
        }
    } while (std::next_permutation(perm, perm + 3));
    return out;
}

constexpr std::array<AxisRotation, 24> kAxisRotations = MakeAxisRotations();

// True when u (orthonormal) is so close to the identity that every other of the 24 frames has
// a trace below 2 while the identity's is above 2.7: the identity is then the frame Snuggle
// picks, without the search. This is the common case, a stretch along the frame's own axes.
bool ClearlyIdentityFrame(const Mat3d& u) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double x = u.a[i][j];
            if (i == j ? !(x > 0.9 && x < 1.5) : !(std::abs(x) < 0.25)) return false;
        }
    return true;
}

// Picks, among the 24 equivalent stretch frames p * u (with k permuted alike), the one that
// turns least, that is the one with the largest trace. u's rows are the stretch axes.
void Snuggle(Mat3d& u, double k[3]) {
    if (ClearlyIdentityFrame(u)) return;
    const AxisRotation* best = &kAxisRotations.front();
    double bestTrace = -1e300;
    for (const AxisRotation& r : kAxisRotations) {
        double trace = 0;
        for (int i = 0; i < 3; ++i) trace += r.sign[i] * u.a[r.perm[i]][i];
        if (trace > bestTrace + 1e-12) {
            bestTrace = trace;
            best = &r;
        }
    }
    Mat3d turned;
    double kk[3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) turned.a[i][j] = best->sign[i] * u.a[best->perm[i]][j];
        kk[i] = k[best->perm[i]];
    }
    u = turned;
    for (int i = 0; i < 3; ++i) k[i] = kk[i];
}

}  // namespace

namespace {

// The steps of decomp_affine around its two iterations (the orthogonal factor q of l, and the
// stretch's eigenvectors), so that DecomposeMatrices can run those for two matrices at once.

// From l and its orthogonal factor q: the mirror f, the rotation; returns the stretch l q^T.
Mat3d StretchAndRotation(const Mat3d& l, Mat3d q, AffineParts* parts) {
    // The stretch s = l * q^T, made exactly symmetric.
    Mat3d s = Mul(l, Transpose(q));
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j) s.a[i][j] = s.a[j][i] = 0.5 * (s.a[i][j] + s.a[j][i]);

    parts->f = 1;
    if (Det(q) < 0) {  // a mirror: q * f with f = -1 and q a proper rotation
        for (auto& row : q.a) row[0] = -row[0], row[1] = -row[1], row[2] = -row[2];
        parts->f = -1;
    }
    parts->q = QuatOfRotation(q);
    return s;
}

// From the stretch's eigenvalues k and eigenvectors v (s = v * diag(k) * v^T): the scale, and
// with withStretchRotation the stretch's rotation u (else parts->u is left as it is).
void StretchParts(double k[3], Mat3d v, AffineParts* parts, bool withStretchRotation) {
    // U = v^T, made a proper rotation: s = U^-1 * K * U.
    if (Det(v) < 0)
        for (auto& row : v.a) row[2] = -row[2];
    Mat3d u = Transpose(v);
    for (int i = 0; i < 3; ++i) k[i] = std::isfinite(k[i]) ? std::max(k[i], 0.0) : 0.0;
    Snuggle(u, k);
    if (withStretchRotation) {
        Quat uq = QuatOfRotation(u);
        if (uq.w < 0) uq = -uq;
        parts->u = uq;
    }
    parts->k = Point3(float(k[0]), float(k[1]), float(k[2]));
}

void DecomposeAffine(const Matrix3& m, AffineParts* parts, bool withStretchRotation) {
    parts->t = m.GetTrans();
    const Mat3d l = LinearPart(m);
    const Mat3d s = StretchAndRotation(l, OrthogonalFactor(l), parts);
    double k[3];
    Mat3d v;
    JacobiEigen(s, k, v);
    StretchParts(k, v, parts, withStretchRotation);
}

#if defined(__SSE2__)
// Two matrices at a time. Each lane of a __m128d holds one matrix's value, and every operation
// is the scalar code's own operation in the same order, so each lane's result is the scalar
// result bit for bit; the processor works on both while the long divisions and square roots of
// each iteration would otherwise leave it waiting. Where the two lanes would take different
// branches, each goes on alone from there with the scalar code.

struct Mat3x2 {
    __m128d a[3][3];
};

Mat3x2 Pack(const Mat3d& x, const Mat3d& y) {
    Mat3x2 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.a[i][j] = _mm_set_pd(y.a[i][j], x.a[i][j]);
    return r;
}

void Unpack(const Mat3x2& r, Mat3d& x, Mat3d& y) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            x.a[i][j] = _mm_cvtsd_f64(r.a[i][j]);
            y.a[i][j] = _mm_cvtsd_f64(_mm_unpackhi_pd(r.a[i][j], r.a[i][j]));
        }
}

__m128d Abs2(__m128d x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }

__m128d NormF2(const Mat3x2& x) {
    __m128d s = _mm_setzero_pd();
    for (const auto& row : x.a)
        s = _mm_add_pd(s, _mm_add_pd(_mm_add_pd(_mm_mul_pd(row[0], row[0]), _mm_mul_pd(row[1], row[1])),
                                     _mm_mul_pd(row[2], row[2])));
    return _mm_sqrt_pd(s);
}

__m128d Blend(__m128d mask, __m128d yes, __m128d no) { return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no)); }

// A lane's mask (all bits set) for the lanes of bits.
__m128d LaneMask(int bits) {
    return _mm_castsi128_pd(_mm_set_epi64x(bits & 2 ? -1 : 0, bits & 1 ? -1 : 0));
}

// A lane that is done keeps its values while the other goes on: both go on in step until the
// last is done, and only a lane that would take a rare branch goes on alone.
void OrthogonalFactorPair(const Mat3d& l0, const Mat3d& l1, Mat3d& q0, Mat3d& q1) {
    const bool newton0 = StartsNewton(l0, &q0), newton1 = StartsNewton(l1, &q1);
    if (!newton0 || !newton1) {
        if (newton0) q0 = NewtonFrom(l0, l0, 0);
        if (newton1) q1 = NewtonFrom(l1, l1, 0);
        return;
    }
    Mat3x2 q = Pack(l0, l1);
    int active = 3;  // lanes still iterating
    for (int iteration = 0; iteration < 100; ++iteration) {
        Mat3x2 cof;
        for (int i = 0; i < 3; ++i) {
            const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
            for (int j = 0; j < 3; ++j) {
                const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
                cof.a[i][j] = _mm_sub_pd(_mm_mul_pd(q.a[i1][j1], q.a[i2][j2]), _mm_mul_pd(q.a[i1][j2], q.a[i2][j1]));
            }
        }
        const __m128d det = _mm_add_pd(_mm_add_pd(_mm_mul_pd(q.a[0][0], cof.a[0][0]), _mm_mul_pd(q.a[0][1], cof.a[0][1])),
                                       _mm_mul_pd(q.a[0][2], cof.a[0][2]));
        if ((~_mm_movemask_pd(_mm_cmpgt_pd(Abs2(det), _mm_setzero_pd())) & active) != 0) {
            Unpack(q, q0, q1);
            if (active & 1) q0 = NewtonFrom(l0, q0, iteration);
            if (active & 2) q1 = NewtonFrom(l1, q1, iteration);
            return;
        }
        Mat3x2 invT;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) invT.a[i][j] = _mm_div_pd(cof.a[i][j], det);
        const __m128d g = _mm_sqrt_pd(_mm_div_pd(NormF2(invT), NormF2(q)));
        const __m128d half = _mm_set1_pd(0.5), on = LaneMask(active);
        __m128d change = _mm_setzero_pd();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const __m128d next =
                    _mm_mul_pd(half, _mm_add_pd(_mm_mul_pd(g, q.a[i][j]), _mm_div_pd(invT.a[i][j], g)));
                change = _mm_add_pd(change, Abs2(_mm_sub_pd(next, q.a[i][j])));
                q.a[i][j] = Blend(on, next, q.a[i][j]);
            }
        active &= ~_mm_movemask_pd(_mm_cmple_pd(change, _mm_set1_pd(1e-13)));
        if (active == 0) {
            Unpack(q, q0, q1);
            return;
        }
    }
    Unpack(q, q0, q1);
    if (active & 1) q0 = OrthogonalFactorRankDeficient(l0);
    if (active & 2) q1 = OrthogonalFactorRankDeficient(l1);
}

// TurnColumns and TurnRows of both lanes by their own (c, sn).
void TurnColumnsPair(Mat3x2& x, int p, int q, int r, __m128d c, __m128d sn) {
    const __m128d zero = _mm_setzero_pd(), minusSn = _mm_xor_pd(sn, _mm_set1_pd(-0.0));
    for (auto& row : x.a) {
        const __m128d xp = row[p], xq = row[q];
        row[p] = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(xp, c)), _mm_mul_pd(xq, minusSn));
        row[q] = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(xp, sn)), _mm_mul_pd(xq, c));
        row[r] = _mm_add_pd(zero, row[r]);
    }
}

void TurnRowsPair(Mat3x2& x, int p, int q, int r, __m128d c, __m128d sn) {
    const __m128d zero = _mm_setzero_pd(), minusSn = _mm_xor_pd(sn, _mm_set1_pd(-0.0));
    for (int j = 0; j < 3; ++j) {
        const __m128d xp = x.a[p][j], xq = x.a[q][j];
        x.a[p][j] = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(c, xp)), _mm_mul_pd(minusSn, xq));
        x.a[q][j] = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(sn, xp)), _mm_mul_pd(c, xq));
        x.a[r][j] = _mm_add_pd(zero, x.a[r][j]);
    }
}

// SweepsDone of both lanes: bit 0 for the first, bit 1 for the second.
int SweepsDonePair(const Mat3x2& s) {
    __m128d off = _mm_setzero_pd(), all = _mm_setzero_pd();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const __m128d square = _mm_mul_pd(s.a[i][j], s.a[i][j]);
            (i == j ? all : off) = _mm_add_pd(i == j ? all : off, square);
        }
    all = _mm_add_pd(all, off);
    return 3 & ~_mm_movemask_pd(_mm_cmpgt_pd(off, _mm_mul_pd(_mm_set1_pd(1e-30), all)));
}

void JacobiEigenPair(const Mat3d& s0, const Mat3d& s1, double k0[3], Mat3d& v0, double k1[3], Mat3d& v1) {
    if (!Bounded(s0) || !Bounded(s1)) {
        JacobiEigen(s0, k0, v0);
        JacobiEigen(s1, k1, v1);
        return;
    }
    Mat3x2 s = Pack(s0, s1), v = Pack(Mat3d{}, Mat3d{});
    int active = 3;  // lanes whose sweeps go on
    for (int sweep = 0; sweep < 50 && (active &= ~SweepsDonePair(s)) != 0; ++sweep) {
        for (int pair = 0; pair < 3; ++pair) {
            const int p = kSweepPairs[pair][0], q = kSweepPairs[pair][1];
            const __m128d apq = s.a[p][q];
            const int turning = active & _mm_movemask_pd(_mm_cmpneq_pd(apq, _mm_setzero_pd()));
            if (turning == 0) continue;
            const __m128d theta =
                _mm_div_pd(_mm_sub_pd(s.a[q][q], s.a[p][p]), _mm_mul_pd(_mm_set1_pd(2.0), apq));
            if ((_mm_movemask_pd(_mm_cmpgt_pd(Abs2(theta), _mm_set1_pd(1e150))) & turning) != 0) {
                // A nearly diagonal pair: the lanes that go on, go on alone.
                Mat3d a0, a1, w0, w1;
                Unpack(s, a0, a1);
                Unpack(v, w0, w1);
                if (active & 1) JacobiFrom(a0, w0, true, sweep, pair);
                if (active & 2) JacobiFrom(a1, w1, true, sweep, pair);
                s = Pack(a0, a1);
                v = Pack(w0, w1);
                active = 0;
                break;
            }
            const __m128d one = _mm_set1_pd(1.0);
            const __m128d nonNegative = _mm_cmpge_pd(theta, _mm_setzero_pd());
            const __m128d sign = Blend(nonNegative, one, _mm_set1_pd(-1.0));
            const __m128d t = _mm_div_pd(
                sign, _mm_add_pd(Abs2(theta), _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(theta, theta), one))));
            const __m128d c = _mm_div_pd(one, _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(t, t), one)));
            const __m128d sn = _mm_mul_pd(t, c);
            const int r = 3 - p - q;
            Mat3x2 turnedS = s, turnedV = v;
            TurnColumnsPair(turnedS, p, q, r, c, sn);
            TurnRowsPair(turnedS, p, q, r, c, sn);
            TurnColumnsPair(turnedV, p, q, r, c, sn);
            turnedS.a[p][q] = turnedS.a[q][p] = _mm_setzero_pd();
            const __m128d on = LaneMask(turning);
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    s.a[i][j] = Blend(on, turnedS.a[i][j], s.a[i][j]);
                    v.a[i][j] = Blend(on, turnedV.a[i][j], v.a[i][j]);
                }
        }
    }
    Mat3d a0, a1;
    Unpack(s, a0, a1);
    Unpack(v, v0, v1);
    for (int i = 0; i < 3; ++i) k0[i] = a0.a[i][i], k1[i] = a1.a[i][i];
}

void DecomposePair(const Matrix3& m0, const Matrix3& m1, AffineParts* parts0, AffineParts* parts1) {
    parts0->t = m0.GetTrans();
    parts1->t = m1.GetTrans();
    const Mat3d l0 = LinearPart(m0), l1 = LinearPart(m1);
    Mat3d q0, q1;
    OrthogonalFactorPair(l0, l1, q0, q1);
    const Mat3d s0 = StretchAndRotation(l0, q0, parts0), s1 = StretchAndRotation(l1, q1, parts1);
    double k0[3], k1[3];
    Mat3d v0, v1;
    JacobiEigenPair(s0, s1, k0, v0, k1, v1);
    StretchParts(k0, v0, parts0, false);
    StretchParts(k1, v1, parts1, false);
}
#endif

}  // namespace

void decomp_affine(const Matrix3& m, AffineParts* parts) {
    if (parts) DecomposeAffine(m, parts, true);
}

float AffineMirrorSign(const Matrix3& m) {
    // Where OrthogonalFactor takes the Newton iteration (the same test), each step keeps the
    // sign of the determinant, so q has a positive one and decomp_affine gives f = +1.
    const Mat3d l = LinearPart(m);
    const double norm = NormF(l);
    if (norm > 0 && std::isfinite(norm) && Det(l) > 1e-10 * norm * norm * norm) return 1;
    AffineParts parts;
    decomp_affine(m, &parts);
    return parts.f;
}

void DecomposeMatrix(const Matrix3& m, Point3& position, Quat& rotation, Point3& scale) {
    AffineParts parts;
    DecomposeAffine(m, &parts, false);
    position = parts.t;
    rotation = parts.q;
    scale = parts.k * parts.f;
}

void DecomposeMatrices(std::span<const Matrix3> m, std::span<DecomposedMatrix> out) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 1 < m.size() && i + 1 < out.size(); i += 2) {
        AffineParts a, b;
        DecomposePair(m[i], m[i + 1], &a, &b);
        out[i] = {a.t, a.q, a.k * a.f};
        out[i + 1] = {b.t, b.q, b.k * b.f};
    }
#endif
    for (; i < m.size() && i < out.size(); ++i) DecomposeMatrix(m[i], out[i].position, out[i].rotation, out[i].scale);
}
