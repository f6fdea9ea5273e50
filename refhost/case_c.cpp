// Case files through the C interface: the host is built with the public
// keld_refhost functions, so it is a keld_refhost like any other.
#include "keld/case_c.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

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

// Replays a case description into a keld_refhost through its C functions.
class CHostBuilder {
  public:
    keld_refhost *host = nullptr;

    void create(std::int64_t data_sets) {
        host = keld_refhost_create(data_sets, 0);
        if (host == nullptr) throw std::runtime_error("cannot create a host");
    }
    std::int64_t add_component(const std::string &id, keld::refhost::ComponentKind kind, double mw) {
        std::int64_t number = 0;
        check(keld_refhost_add_component(host, id.c_str(), static_cast<int>(kind), mw, &number));
        return number;
    }
    void set_number_average_mw(std::int64_t polymer, double mwn) {
        check(keld_refhost_set_number_average_mw(host, polymer, mwn));
    }
    void set_segment_fraction(std::int64_t polymer, std::int64_t segment, double w) {
        check(keld_refhost_set_segment_weight_fraction(host, polymer, segment, w));
    }
    void set_formula(std::int64_t component, const std::string &formula) {
        check(keld_refhost_set_formula(host, component, formula.c_str()));
    }
    void set_parameter(const ParameterValue &p) {
        const char *name = p.name.c_str();
        switch (p.shape) {
            case keld::refhost::ParameterShape::unary:
                check(keld_refhost_set_unary(host, name, p.i, p.data_set, p.coefficients[0]));
                break;
            case keld::refhost::ParameterShape::binary:
                check(keld_refhost_set_binary(host, name, p.i, p.j, p.data_set, p.coefficients[0]));
                break;
            case keld::refhost::ParameterShape::binary_table:
                for (int k = 0; k < 6; ++k) {
                    check(keld_refhost_set_binary_coefficient(host, name, p.i, p.j, k + 1, p.data_set,
                                                              p.coefficients[static_cast<std::size_t>(k)]));
                }
                break;
            case keld::refhost::ParameterShape::per_component:
                check(keld_refhost_set_component_value(host, name, p.i, p.coefficients[0]));
                break;
            case keld::refhost::ParameterShape::record3:
                check(keld_refhost_set_record(host, name, p.i, p.data_set, p.coefficients.data(), 3));
                break;
        }
    }
    void define_unifac_subgroup(const keld::refhost::detail::UnifacSubgroupSpec &s) {
        check(keld_refhost_define_unifac_subgroup(host, s.name.c_str(), s.number, s.main_group.c_str(), s.r, s.q));
    }
    void set_unifac_interaction(const keld::refhost::detail::UnifacInteractionSpec &a) {
        check(keld_refhost_set_unifac_interaction(host, a.main_i.c_str(), a.main_j.c_str(), a.a_ij));
    }
    void set_component_groups(std::int64_t component, const std::vector<std::pair<std::string, double>> &groups) {
        std::vector<const char *> names;
        std::vector<double> counts;
        for (const auto &[name, count] : groups) {
            names.push_back(name.c_str());
            counts.push_back(count);
        }
        check(keld_refhost_set_component_groups(host, component, names.data(), counts.data(),
                                                static_cast<int64_t>(names.size())));
    }

  private:
    void check(int code) const {
        if (code != KELD_REFHOST_OK) throw std::runtime_error(keld_refhost_last_error(host));
    }
};

CaseDescription read_description(const char *path) {
    if (path == nullptr) throw keld::refhost::CaseError("<null>", "no file name");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw keld::refhost::CaseError(path, "cannot open the file");
    std::ostringstream text;
    text << in.rdbuf();
    return keld::refhost::detail::parse_description(text.str(), path);
}

keld_refhost *build(const CaseDescription &description) {
    CHostBuilder builder;
    try {
        keld::refhost::detail::build_host(description, builder);
    } catch (...) {
        keld_refhost_destroy(builder.host);
        throw;
    }
    return builder.host;
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

}  // extern "C"
