// Molecular-weight distributions and their Gauss quadrature (see distribution.h).
#include "keld/equilibria/distribution.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <Eigen/Eigenvalues>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <numeric>
#include <sstream>
#include <stdexcept>

namespace keld::equilibria {
namespace {

// Gauss-Hermite points of the log-normal's base rule: exp(c t) for the
// moments' c <= 3 sqrt(2 ln(Mw/Mn)) is integrated to round-off well before this.
constexpr std::size_t kHermitePoints = 96;
// Pseudo-components with a smaller share of the polymer's mass are dropped (see discretise).
constexpr double kLeastMassShare = 1e-8;

// A number distribution in x = M / Mn as nodes and weights summing to 1.
struct Rule {
    std::vector<double> x, w;
};

// The Gauss rule of a Jacobi matrix (diagonal alpha, off-diagonal b, |b_j| =
// sqrt(beta_j)) for a measure of total mass 1: Golub-Welsch for the nodes.
// The weights are 1 / sum_j p_j(x_k)^2 over the orthonormal polynomials
// rather than the eigenvectors' first entries squared: those carry an
// absolute error of the machine epsilon, which swamps the tails' small
// weights once they are multiplied by M^3.
Rule gauss_from_jacobi(const Eigen::VectorXd &alpha, const Eigen::VectorXd &b) {
    const Eigen::Index n = alpha.size();
    Eigen::MatrixXd j = Eigen::MatrixXd::Zero(n, n);
    for (Eigen::Index i = 0; i < n; ++i) {
        j(i, i) = alpha(i);
        if (i + 1 < n) j(i, i + 1) = j(i + 1, i) = b(i);
    }
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(j, Eigen::EigenvaluesOnly);
    Rule r;
    for (Eigen::Index k = 0; k < n; ++k) {
        const double x = eigen.eigenvalues()(k);
        double previous = 0.0, here = 1.0, sum = 1.0;
        for (Eigen::Index i = 0; i + 1 < n; ++i) {
            const double bi = std::fabs(b(i));
            const double next = ((x - alpha(i)) * here - (i > 0 ? std::fabs(b(i - 1)) : 0.0) * previous) / bi;
            previous = here;
            here = next;
            sum += here * here;
        }
        r.x.push_back(x);
        r.w.push_back(1.0 / sum);
    }
    return r;
}

// The N-point Gauss rule of a discrete measure (nodes x, weights w, sum 1):
// the Jacobi matrix of its orthogonal polynomials from the Householder
// tridiagonalisation of [[0, sqrt(w)'], [sqrt(w), diag(x)]], which keeps the
// first coordinate fixed (Lanczos in a stable form).
Rule reduce(const Rule &fine, std::size_t count) {
    const auto k = static_cast<Eigen::Index>(fine.x.size());
    if (count >= fine.x.size()) return fine;
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(k + 1, k + 1);
    for (Eigen::Index i = 0; i < k; ++i) {
        a(0, i + 1) = a(i + 1, 0) = std::sqrt(fine.w[static_cast<std::size_t>(i)]);
        a(i + 1, i + 1) = fine.x[static_cast<std::size_t>(i)];
    }
    const Eigen::Tridiagonalization<Eigen::MatrixXd> tri(a);
    const Eigen::VectorXd diagonal = tri.diagonal(), sub = tri.subDiagonal();
    const auto n = static_cast<Eigen::Index>(count);
    return gauss_from_jacobi(diagonal.segment(1, n), sub.segment(1, n > 1 ? n - 1 : 0));
}

// A Gauss rule of many points for a distribution with long tails (a broad
// log-normal) has a Jacobi matrix spanning many decades, and its small nodes
// and weights carry the eigensolver's absolute error. The weights are then
// corrected, each by a relative amount linear in x^j, so that the rule meets
// the distribution's mu0..mu3 (in x = M/Mn) exactly; the correction is of
// the order of that error (1e-9 and less), not a change of the rule.
void match_moments(Rule &rule, const double (&target)[4]) {
    const std::size_t n = rule.x.size();
    const std::size_t k = std::min<std::size_t>(4, n);
    if (k < 4) return;  // two or three nodes: exact to round-off already
    for (int pass = 0; pass < 2; ++pass) {
        Eigen::Matrix4d a = Eigen::Matrix4d::Zero();
        Eigen::Vector4d r;
        for (int i = 0; i < 4; ++i) {
            double have = 0.0;
            for (std::size_t m = 0; m < n; ++m) have += rule.w[m] * std::pow(rule.x[m], i);
            r(i) = target[i] - have;
            for (int j = 0; j < 4; ++j)
                for (std::size_t m = 0; m < n; ++m) a(i, j) += rule.w[m] * std::pow(rule.x[m], i + j);
        }
        const Eigen::Vector4d lambda = a.fullPivLu().solve(r);
        for (std::size_t m = 0; m < n; ++m) {
            double factor = 1.0;
            for (int j = 0; j < 4; ++j) factor += lambda(j) * std::pow(rule.x[m], j);
            rule.w[m] *= factor;
        }
    }
}

// Schulz-Flory: chains distributed as x^(k-1) e^(-k x) in x = M/Mn, k = 1/(Mw/Mn - 1); the
// generalised Laguerre recurrence alpha_j = 2j + k, beta_j = j (j + k - 1), scaled by 1/k.
Rule schulz_flory_rule(double mn, double mw, std::size_t count) {
    const double k = 1.0 / (mw / mn - 1.0);
    const auto n = static_cast<Eigen::Index>(count);
    Eigen::VectorXd alpha(n), b(n > 1 ? n - 1 : 0);
    for (Eigen::Index j = 0; j < n; ++j) {
        alpha(j) = (2.0 * static_cast<double>(j) + k) / k;
        if (j + 1 < n) {
            const double jj = static_cast<double>(j + 1);
            b(j) = std::sqrt(jj * (jj + k - 1.0)) / k;
        }
    }
    return gauss_from_jacobi(alpha, b);
}

// Log-normal: ln x normal with variance s2 = ln(Mw/Mn) and mean -s2/2 (so that <x> = 1), on a
// Gauss-Hermite rule in the standardised variable.
Rule log_normal_fine(double mn, double mw) {
    const double s2 = std::log(mw / mn);
    const auto k = static_cast<Eigen::Index>(kHermitePoints);
    Eigen::VectorXd alpha = Eigen::VectorXd::Zero(k), b(k - 1);
    for (Eigen::Index j = 0; j + 1 < k; ++j) b(j) = std::sqrt(0.5 * static_cast<double>(j + 1));
    Rule r = gauss_from_jacobi(alpha, b);
    for (double &x : r.x) x = std::exp(std::sqrt(2.0 * s2) * x - 0.5 * s2);
    return r;
}

void check_averages(double mn, double mw, const char *what) {
    if (!(std::isfinite(mn) && std::isfinite(mw) && mn > 0.0 && mw >= mn))
        throw std::invalid_argument(std::string(what) + " distribution needs 0 < Mn <= Mw (kg/kmol)");
}

std::vector<std::string> split_fields(const std::string &line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ',' || c == ';' || c == '\t' || c == ' ') {
            if (!field.empty()) fields.push_back(field);
            field.clear();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.empty()) fields.push_back(field);
    return fields;
}

bool parse_number(const std::string &s, double &value) {
    std::istringstream in(s);
    in >> value;
    return !in.fail() && in.eof();
}

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

DistributionMoments moments_of(std::span<const PseudoComponent> set) {
    DistributionMoments m;
    for (const PseudoComponent &c : set) {
        m.mu0 += c.mole_fraction;
        m.mu1 += c.mole_fraction * c.mw;
        m.mu2 += c.mole_fraction * c.mw * c.mw;
        m.mu3 += c.mole_fraction * c.mw * c.mw * c.mw;
    }
    m.mn = m.mu1 / m.mu0;
    m.mw = m.mu2 / m.mu1;
    m.mz = m.mu3 / m.mu2;
    return m;
}

MolecularWeightDistribution MolecularWeightDistribution::schulz_flory(double mn, double mw) {
    check_averages(mn, mw, "a Schulz-Flory");
    MolecularWeightDistribution d;
    d.kind_ = Kind::schulz_flory;
    d.mn_ = mn;
    d.mw_ = mw;
    return d;
}

MolecularWeightDistribution MolecularWeightDistribution::log_normal(double mn, double mw) {
    check_averages(mn, mw, "a log-normal");
    MolecularWeightDistribution d;
    d.kind_ = Kind::log_normal;
    d.mn_ = mn;
    d.mw_ = mw;
    return d;
}

MolecularWeightDistribution MolecularWeightDistribution::from_points(std::vector<double> mw,
                                                                     std::vector<double> weight) {
    if (mw.empty() || mw.size() != weight.size())
        throw std::invalid_argument("a distribution of points needs one weight fraction per molecular weight");
    double total = 0.0;
    for (std::size_t i = 0; i < mw.size(); ++i) {
        if (!(std::isfinite(mw[i]) && mw[i] > 0.0))
            throw std::invalid_argument("molecular weight " + std::to_string(i + 1) + " is not positive");
        if (!(std::isfinite(weight[i]) && weight[i] >= 0.0))
            throw std::invalid_argument("weight fraction " + std::to_string(i + 1) + " is negative or not a number");
        total += weight[i] / mw[i];
    }
    if (!(total > 0.0)) throw std::invalid_argument("a distribution of points needs a positive weight fraction");
    // Chains at each M, summed over repeated molecular weights.
    std::vector<std::size_t> order(mw.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return mw[a] < mw[b]; });
    MolecularWeightDistribution d;
    d.kind_ = Kind::points;
    for (std::size_t i : order) {
        if (weight[i] == 0.0) continue;
        const double moles = weight[i] / mw[i] / total;
        if (!d.points_mw_.empty() && d.points_mw_.back() == mw[i])
            d.points_moles_.back() += moles;
        else {
            d.points_mw_.push_back(mw[i]);
            d.points_moles_.push_back(moles);
        }
    }
    const DistributionMoments m = d.moments();
    d.mn_ = m.mn;
    d.mw_ = m.mw;
    return d;
}

MolecularWeightDistribution MolecularWeightDistribution::parse_gpc(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::string line;
    std::vector<double> mw, value;
    bool per_log = false, header_seen = false;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        const std::vector<std::string> fields = split_fields(line);
        if (fields.empty()) continue;
        double a = 0.0, b = 0.0;
        const bool numeric = fields.size() >= 2 && parse_number(fields[0], a) && parse_number(fields[1], b);
        if (!numeric) {
            if (header_seen || !mw.empty())
                throw std::invalid_argument("GPC line " + std::to_string(number) +
                                            ": expected molecular weight and weight fraction, got '" + line + "'");
            header_seen = true;
            const std::string second = fields.size() >= 2 ? lower(fields[1]) : "";
            per_log = second.find("dlog") != std::string::npos;
            continue;
        }
        if (fields.size() > 2)
            throw std::invalid_argument("GPC line " + std::to_string(number) + ": more than two columns");
        mw.push_back(a);
        value.push_back(b);
    }
    if (mw.empty()) throw std::invalid_argument("GPC trace without data lines");
    if (per_log) {
        // dw/dlogM times each slice's width in log10 M (half the distance to each neighbour).
        std::vector<std::size_t> order(mw.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return mw[x] < mw[y]; });
        std::vector<double> weight(mw.size(), 0.0);
        for (std::size_t k = 0; k < order.size(); ++k) {
            const double here = std::log10(std::max(mw[order[k]], 1e-300));
            const double below = k > 0 ? std::log10(std::max(mw[order[k - 1]], 1e-300)) : here;
            const double above = k + 1 < order.size() ? std::log10(std::max(mw[order[k + 1]], 1e-300)) : here;
            weight[order[k]] = value[order[k]] * 0.5 * (above - below);
        }
        if (mw.size() == 1) weight[0] = value[0];
        value = weight;
    }
    return from_points(std::move(mw), std::move(value));
}

MolecularWeightDistribution MolecularWeightDistribution::read_gpc(const std::string &path) {
    std::ifstream in(path);
    if (!in) throw std::invalid_argument("cannot read the GPC trace " + path);
    std::stringstream text;
    text << in.rdbuf();
    return parse_gpc(text.str());
}

DistributionMoments MolecularWeightDistribution::moments() const {
    DistributionMoments m;
    m.mu0 = 1.0;
    switch (kind_) {
    case Kind::schulz_flory: {
        // <x^j> = k (k+1) ... (k+j-1) / k^j for x = M/Mn.
        const double pdi = mw_ / mn_;
        m.mu1 = mn_;
        m.mu2 = mn_ * mn_ * pdi;
        m.mu3 = m.mu2 * mn_ * (2.0 * pdi - 1.0);
        break;
    }
    case Kind::log_normal: {
        // <x^j> = exp(j (j - 1) s2 / 2), s2 = ln(Mw/Mn).
        const double pdi = mw_ / mn_;
        m.mu1 = mn_;
        m.mu2 = mn_ * mn_ * pdi;
        m.mu3 = mn_ * mn_ * mn_ * pdi * pdi * pdi;
        break;
    }
    case Kind::points: {
        std::vector<PseudoComponent> set;
        for (std::size_t i = 0; i < points_mw_.size(); ++i) set.push_back({points_mw_[i], 0.0, points_moles_[i]});
        return moments_of(set);
    }
    }
    m.mn = m.mu1;
    m.mw = m.mu2 / m.mu1;
    m.mz = m.mu3 / m.mu2;
    return m;
}

std::vector<PseudoComponent> MolecularWeightDistribution::discretise(std::size_t count) const {
    if (count == 0) throw std::invalid_argument("a polymer needs at least one pseudo-component");
    const bool one_length = kind_ != Kind::points && mw_ == mn_;
    Rule rule;
    double scale = mn_;
    if (one_length) {
        rule = {{1.0}, {1.0}};
    } else if (kind_ == Kind::schulz_flory) {
        rule = schulz_flory_rule(mn_, mw_, count);
    } else if (kind_ == Kind::log_normal) {
        rule = reduce(log_normal_fine(mn_, mw_), count);
    } else {
        Rule fine;
        for (std::size_t i = 0; i < points_mw_.size(); ++i) {
            fine.x.push_back(points_mw_[i] / mn_);
            fine.w.push_back(points_moles_[i]);
        }
        rule = count >= fine.x.size() ? fine : reduce(fine, count);
    }
    // A Gauss rule of many points for a broad log-normal puts its last nodes
    // decades beyond any real chain (Mn 1e5, Mw/Mn 2, ten points: a node at 4e10
    // with 1e-56 of the chains). Nodes holding less than kLeastMassShare of the
    // polymer's mass are dropped; the moments are then met on the rest.
    {
        double mass = 0.0;
        for (std::size_t i = 0; i < rule.x.size(); ++i) mass += rule.w[i] * rule.x[i];
        Rule kept;
        for (std::size_t i = 0; i < rule.x.size(); ++i)
            if (std::isfinite(rule.w[i]) && rule.w[i] * rule.x[i] >= kLeastMassShare * mass) {
                kept.x.push_back(rule.x[i]);
                kept.w.push_back(rule.w[i]);
            }
        rule = kept;
    }
    if (!one_length) {
        const DistributionMoments exact = moments();
        const double target[4] = {1.0, 1.0, exact.mu2 / (mn_ * mn_), exact.mu3 / (mn_ * mn_ * mn_)};
        match_moments(rule, target);
    }
    for (double w : rule.w)
        if (!(w > 0.0)) throw std::runtime_error("the Gauss rule of this distribution lost a weight to round-off: use fewer pseudo-components");
    std::vector<PseudoComponent> set(rule.x.size());
    double moles = 0.0, mass = 0.0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        set[i].mw = rule.x[i] * scale;
        set[i].mole_fraction = rule.w[i];
        moles += rule.w[i];
        mass += rule.w[i] * set[i].mw;
    }
    for (PseudoComponent &c : set) {
        c.weight_fraction = c.mole_fraction * c.mw / mass;
        c.mole_fraction /= moles;
    }
    std::sort(set.begin(), set.end(), [](const auto &a, const auto &b) { return a.mw < b.mw; });
    return set;
}

}  // namespace keld::equilibria
