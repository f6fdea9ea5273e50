// Case files through the C interface: the host is a keld_refhost like any
// other, filled by the same code as a case loaded through the C++ interface.
#include "keld/case_c.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

#include "c_host.h"
#include "case_description.h"

struct keld_refhost_case {
    keld_refhost *host = nullptr;
    std::vector<keld::refhost::StateRequest> states;
    std::int64_t data_sets = 0;
    ~keld_refhost_case() { keld_refhost_destroy(host); }
};

namespace {

using keld::refhost::detail::CaseDescription;
using keld::refhost::detail::ParameterValue;

void copy_text(const std::string &text, char *buffer, int64_t capacity) {
    if (buffer == nullptr || capacity < 1) return;
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

CaseDescription read_description(const char *path) {
    if (path == nullptr) throw keld::refhost::CaseError("<null>", "no file name");
    return keld::refhost::detail::parse_description(keld::refhost::detail::read_case_text(path), path);
}

keld_refhost *build(const CaseDescription &description) {
    keld_refhost *host = keld_refhost_create(description.data_sets, 0);
    if (host == nullptr) throw std::runtime_error("cannot create a host");
    try {
        keld::refhost::detail::fill_host(description, host->host);
    } catch (...) {
        keld_refhost_destroy(host);
        throw;
    }
    return host;
}

const keld::refhost::StateRequest *state_at(const keld_refhost_case *c, int64_t state) {
    if (c == nullptr || state < 1 || state > static_cast<int64_t>(c->states.size())) return nullptr;
    return &c->states[static_cast<std::size_t>(state - 1)];
}

}  // namespace

extern "C" {

keld_refhost *keld_refhost_load_case(const char *path, char *error, int64_t capacity) {
    try {
        keld_refhost *host = build(read_description(path));
        copy_text("", error, capacity);
        return host;
    } catch (const std::exception &e) {
        copy_text(e.what(), error, capacity);
    } catch (...) {
        copy_text("unknown failure", error, capacity);
    }
    return nullptr;
}

keld_refhost_case *keld_refhost_case_open(const char *path, char *error, int64_t capacity) {
    try {
        CaseDescription description = read_description(path);
        auto c = std::make_unique<keld_refhost_case>();
        c->host = build(description);
        c->states = std::move(description.states);
        c->data_sets = description.data_sets;
        copy_text("", error, capacity);
        return c.release();
    } catch (const std::exception &e) {
        copy_text(e.what(), error, capacity);
    } catch (...) {
        copy_text("unknown failure", error, capacity);
    }
    return nullptr;
}

void keld_refhost_case_close(keld_refhost_case *c) {
    delete c;
}

keld_refhost *keld_refhost_case_host(keld_refhost_case *c) {
    return c == nullptr ? nullptr : c->host;
}

int64_t keld_refhost_case_state_count(const keld_refhost_case *c) {
    return c == nullptr ? 0 : static_cast<int64_t>(c->states.size());
}

int64_t keld_refhost_case_data_set_count(const keld_refhost_case *c) {
    return c == nullptr ? 0 : c->data_sets;
}

int keld_refhost_case_state(const keld_refhost_case *c, int64_t state, double *t, double *p, int64_t *n,
                            int64_t *idx, double *z, int64_t capacity, int64_t *kvl, int64_t *flags,
                            int64_t *kds, int64_t *kdiag, int64_t *kopt) {
    if (c == nullptr || t == nullptr || p == nullptr || n == nullptr || idx == nullptr || z == nullptr ||
        kvl == nullptr || flags == nullptr || kds == nullptr || kdiag == nullptr || kopt == nullptr) {
        return KELD_REFHOST_INVALID_ARGUMENT;
    }
    const keld::refhost::StateRequest *s = state_at(c, state);
    if (s == nullptr) return KELD_REFHOST_OUT_OF_RANGE;
    const auto count = static_cast<int64_t>(s->components.size());
    *n = count;
    if (count > capacity) return KELD_REFHOST_OUT_OF_RANGE;
    *t = s->temperature;
    *p = s->pressure;
    std::copy(s->components.begin(), s->components.end(), idx);
    std::copy(s->z.begin(), s->z.end(), z);
    *kvl = s->phase;
    std::copy(s->flags.begin(), s->flags.end(), flags);
    *kds = s->data_set;
    *kdiag = s->diagnostics;
    *kopt = s->option;
    return KELD_REFHOST_OK;
}

int keld_refhost_case_state_model(const keld_refhost_case *c, int64_t state, char *name, int64_t capacity) {
    const keld::refhost::StateRequest *s = state_at(c, state);
    if (name == nullptr || capacity < 1) return KELD_REFHOST_INVALID_ARGUMENT;
    if (s == nullptr) return KELD_REFHOST_OUT_OF_RANGE;
    copy_text(s->model, name, capacity);
    return KELD_REFHOST_OK;
}

int keld_refhost_case_state_label(const keld_refhost_case *c, int64_t state, char *label, int64_t capacity) {
    const keld::refhost::StateRequest *s = state_at(c, state);
    if (label == nullptr || capacity < 1) return KELD_REFHOST_INVALID_ARGUMENT;
    if (s == nullptr) return KELD_REFHOST_OUT_OF_RANGE;
    copy_text(s->label, label, capacity);
    return KELD_REFHOST_OK;
}

int keld_refhost_case_evaluate(keld_refhost_case *c, int64_t state, double *phi, double *dphi, int64_t capacity,
                               double *values, int64_t *kstat) {
    if (c == nullptr || phi == nullptr || dphi == nullptr || values == nullptr || kstat == nullptr)
        return KELD_REFHOST_INVALID_ARGUMENT;
    const keld::refhost::StateRequest *s = state_at(c, state);
    if (s == nullptr) return KELD_REFHOST_OUT_OF_RANGE;
    if (static_cast<int64_t>(s->components.size()) > capacity) return KELD_REFHOST_OUT_OF_RANGE;
    try {
        const keld::refhost::StateResult r =
            keld::refhost::evaluate(*keld::refhost::detail::reference_host(c->host), *s);
        std::copy(r.phi.begin(), r.phi.end(), phi);
        std::copy(r.dphi.begin(), r.dphi.end(), dphi);
        const double all[8] = {r.h, r.s, r.g, r.v, r.dh, r.ds, r.dg, r.dv};
        std::copy(all, all + 8, values);
        *kstat = r.status;
        return KELD_REFHOST_OK;
    } catch (...) {
        return KELD_REFHOST_FAILURE;
    }
}

}  // extern "C"
