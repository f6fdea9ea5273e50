// C interface of the reference host: thin wrappers that turn C++ exceptions
// into status codes and keep the last error text per host.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "c_host.h"

namespace keld::refhost::detail {
ReferenceHost *reference_host(keld_refhost *handle) { return handle ? &handle->host : nullptr; }
}  // namespace keld::refhost::detail

namespace {

using keld::refhost::ReferenceHost;

template <class Host, class F>
int guarded(Host *h, F &&f) noexcept {
    if (h == nullptr) return KELD_REFHOST_INVALID_ARGUMENT;
    try {
        f(h->host);
        h->last_error.clear();
        return KELD_REFHOST_OK;
    } catch (const std::out_of_range &e) {
        h->last_error = e.what();
        return KELD_REFHOST_OUT_OF_RANGE;
    } catch (const std::invalid_argument &e) {
        h->last_error = e.what();
        return KELD_REFHOST_INVALID_ARGUMENT;
    } catch (const std::exception &e) {
        h->last_error = e.what();
        return KELD_REFHOST_FAILURE;
    } catch (...) {
        h->last_error = "unknown failure";
        return KELD_REFHOST_FAILURE;
    }
}

void require(const void *p) {
    if (p == nullptr) throw std::invalid_argument("null pointer argument");
}

std::string_view text(const char *s) {
    require(s);
    return s;
}

}  // namespace

extern "C" {

keld_refhost *keld_refhost_create(int64_t data_sets, int64_t minimum_work_words) {
    try {
        return new keld_refhost(keld::refhost::HostOptions{data_sets, minimum_work_words});
    } catch (...) {
        return nullptr;
    }
}

void keld_refhost_destroy(keld_refhost *host) { delete host; }

int keld_refhost_install(keld_refhost *host) {
    return guarded(host, [](ReferenceHost &h) { h.install(); });
}

int keld_refhost_table(keld_refhost *host, keld_host *out) {
    return guarded(host, [&](ReferenceHost &h) {
        require(out);
        *out = h.table();
    });
}

const char *keld_refhost_last_error(const keld_refhost *host) {
    return host == nullptr ? "no host" : host->last_error.c_str();
}

int keld_refhost_add_component(keld_refhost *host, const char *identifier, int kind, double molecular_weight,
                               int64_t *number) {
    return guarded(host, [&](ReferenceHost &h) {
        require(number);
        if (kind < KELD_COMPONENT_ORDINARY || kind > KELD_COMPONENT_SEGMENT) {
            throw std::invalid_argument("unknown component kind");
        }
        *number = h.add_component(text(identifier), static_cast<keld::refhost::ComponentKind>(kind),
                                  molecular_weight);
    });
}

int keld_refhost_component_count(const keld_refhost *host, int64_t *count) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(count);
        *count = h.component_count();
    });
}

int keld_refhost_set_number_average_mw(keld_refhost *host, int64_t polymer, double mwn) {
    return guarded(host, [&](ReferenceHost &h) { h.set_number_average_mw(polymer, mwn); });
}

int keld_refhost_set_segment_weight_fraction(keld_refhost *host, int64_t polymer, int64_t segment,
                                             double weight_fraction) {
    return guarded(host, [&](ReferenceHost &h) {
        if (polymer < 1 || polymer > h.component_count()) throw std::out_of_range("component out of range");
        // Rebuild the polymer's composition with this one share replaced.
        std::vector<keld::refhost::SegmentShare> shares;
        const auto ns = h.segment_count();
        std::vector<double> current(static_cast<std::size_t>(ns));
        h.segment_weight_fractions(1, polymer, current.data());
        const std::int64_t list = h.locate(ReferenceHost::segment_list_handle);
        for (std::int64_t k = 1; k <= ns; ++k) {
            const std::int64_t s = h.store_integer(list + k);
            if (s != segment && current[static_cast<std::size_t>(k - 1)] != 0.0) {
                shares.push_back({s, current[static_cast<std::size_t>(k - 1)]});
            }
        }
        shares.push_back({segment, weight_fraction});
        h.set_segment_composition(polymer, shares);
    });
}

int keld_refhost_set_formula(keld_refhost *host, int64_t component, const char *formula) {
    return guarded(host, [&](ReferenceHost &h) { h.set_formula(component, text(formula)); });
}

int keld_refhost_define_parameter(keld_refhost *host, const char *name, int shape, int64_t offsets1_element) {
    return guarded(host, [&](ReferenceHost &h) {
        if (shape < KELD_PARAM_PER_COMPONENT || shape > KELD_PARAM_BINARY_TABLE) {
            throw std::invalid_argument("unknown parameter shape");
        }
        h.define_parameter(text(name), static_cast<keld::refhost::ParameterShape>(shape), offsets1_element);
    });
}

int keld_refhost_param_offset(const keld_refhost *host, const char *name, int64_t *offset) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(offset);
        *offset = h.param_offset(text(name));
    });
}

int keld_refhost_set_unary(keld_refhost *host, const char *name, int64_t component, int64_t data_set,
                           double value) {
    return guarded(host, [&](ReferenceHost &h) { h.set_unary(text(name), component, value, data_set); });
}

int keld_refhost_get_unary(const keld_refhost *host, const char *name, int64_t component, int64_t data_set,
                           double *value) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(value);
        *value = h.unary(text(name), component, data_set);
    });
}

int keld_refhost_set_binary(keld_refhost *host, const char *name, int64_t i, int64_t j, int64_t data_set,
                            double value) {
    return guarded(host, [&](ReferenceHost &h) { h.set_binary(text(name), i, j, value, data_set); });
}

int keld_refhost_get_binary(const keld_refhost *host, const char *name, int64_t i, int64_t j, int64_t data_set,
                            double *value) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(value);
        *value = h.binary(text(name), i, j, data_set);
    });
}

int keld_refhost_set_binary_coefficient(keld_refhost *host, const char *name, int64_t i, int64_t j,
                                        int64_t coefficient, int64_t data_set, double value) {
    return guarded(host, [&](ReferenceHost &h) {
        if (coefficient < 1 || coefficient > 6) throw std::out_of_range("coefficient number out of range");
        double coefficients[6];
        for (int c = 1; c <= 6; ++c) coefficients[c - 1] = h.binary_coefficient(text(name), i, j, c, data_set);
        coefficients[coefficient - 1] = value;
        h.set_binary_coefficients(text(name), i, j, coefficients, data_set);
    });
}

int keld_refhost_get_binary_coefficient(const keld_refhost *host, const char *name, int64_t i, int64_t j,
                                        int64_t coefficient, int64_t data_set, double *value) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(value);
        *value = h.binary_coefficient(text(name), i, j, coefficient, data_set);
    });
}

int keld_refhost_set_record(keld_refhost *host, const char *name, int64_t component, int64_t data_set,
                            const double *words, int64_t count) {
    return guarded(host, [&](ReferenceHost &h) {
        if (count < 0 || count > 3 || (count > 0 && !words)) throw std::invalid_argument("a record has 0 to 3 words");
        h.set_record(text(name), component, std::span<const double>(words, static_cast<std::size_t>(count)),
                     data_set);
    });
}

int keld_refhost_define_unifac_subgroup(keld_refhost *host, const char *name, int64_t number, const char *main_group,
                                        double r, double q) {
    return guarded(host, [&](ReferenceHost &h) { h.define_unifac_subgroup(text(name), number, text(main_group), r, q); });
}

int keld_refhost_set_unifac_interaction(keld_refhost *host, const char *main_i, const char *main_j, double a_ij) {
    return guarded(host, [&](ReferenceHost &h) { h.set_unifac_interaction(text(main_i), text(main_j), a_ij); });
}

int keld_refhost_set_component_groups(keld_refhost *host, int64_t component, const char *const *subgroups,
                                      const double *counts, int64_t count) {
    return guarded(host, [&](ReferenceHost &h) {
        if (count < 0 || (count > 0 && (!subgroups || !counts))) throw std::invalid_argument("no groups given");
        std::vector<std::pair<std::string, double>> groups;
        for (int64_t k = 0; k < count; ++k) groups.emplace_back(std::string(text(subgroups[k])), counts[k]);
        h.set_component_groups(component, groups);
    });
}

int keld_refhost_set_component_value(keld_refhost *host, const char *name, int64_t component, double value) {
    return guarded(host, [&](ReferenceHost &h) { h.set_component_value(text(name), component, value); });
}

int keld_refhost_get_component_value(const keld_refhost *host, const char *name, int64_t component,
                                     double *value) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(value);
        *value = h.component_value(text(name), component);
    });
}

int keld_refhost_store(keld_refhost *host, double **store, int64_t *words) {
    return guarded(host, [&](ReferenceHost &h) {
        require(store);
        require(words);
        *store = h.store().data();
        *words = static_cast<int64_t>(h.store().size());
    });
}

int keld_refhost_work_area(const keld_refhost *host, int64_t *work_offset, int64_t *work_words) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(work_offset);
        require(work_words);
        *work_offset = h.work_offset();
        *work_words = h.work_words();
    });
}

int keld_refhost_set_global(keld_refhost *host, int64_t element, int64_t value) {
    return guarded(host, [&](ReferenceHost &h) { h.global(element) = value; });
}

int keld_refhost_set_real_global(keld_refhost *host, int64_t element, double value) {
    return guarded(host, [&](ReferenceHost &h) { h.real_global(element) = value; });
}

int keld_refhost_set_property_global(keld_refhost *host, int64_t element, double value) {
    return guarded(host, [&](ReferenceHost &h) { h.property_global(element) = value; });
}

int keld_refhost_set_root_control(keld_refhost *host, int64_t element, double value) {
    return guarded(host, [&](ReferenceHost &h) { h.root_control(element) = value; });
}

int keld_refhost_set_message_mode(keld_refhost *host, int mode) {
    return guarded(host, [&](ReferenceHost &h) {
        if (mode < KELD_MESSAGES_BY_LEVEL || mode > KELD_MESSAGES_REFUSE_ALL) {
            throw std::invalid_argument("unknown message mode");
        }
        h.message_policy().mode = static_cast<keld::refhost::MessageMode>(mode);
    });
}

int keld_refhost_set_message_threshold(keld_refhost *host, int64_t check_class, int64_t level) {
    return guarded(host, [&](ReferenceHost &h) { h.message_policy().class_thresholds[check_class] = level; });
}

int keld_refhost_capture_messages(keld_refhost *host, int capture) {
    return guarded(host, [&](ReferenceHost &h) {
        if (capture != 0) {
            h.capture_messages();
        } else {
            h.print_messages_to_stderr();
        }
    });
}

int keld_refhost_captured_line_count(const keld_refhost *host, int64_t *count) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(count);
        *count = static_cast<int64_t>(h.captured_messages().size());
    });
}

int keld_refhost_captured_line(const keld_refhost *host, int64_t index, char *buffer, int64_t capacity) {
    return guarded(host, [&](const ReferenceHost &h) {
        require(buffer);
        if (capacity < 1) throw std::invalid_argument("buffer capacity must be at least 1");
        const auto &lines = h.captured_messages();
        if (index < 1 || index > static_cast<int64_t>(lines.size())) throw std::out_of_range("no such line");
        const std::string &line = lines[static_cast<std::size_t>(index - 1)];
        const std::size_t n = std::min<std::size_t>(line.size(), static_cast<std::size_t>(capacity - 1));
        std::memcpy(buffer, line.data(), n);
        buffer[n] = '\0';
    });
}

int keld_refhost_clear_captured_lines(keld_refhost *host) {
    return guarded(host, [](ReferenceHost &h) { h.clear_captured_messages(); });
}

int keld_refhost_set_binary_coefficients(keld_refhost *host, const char *name, int64_t i, int64_t j,
                                         int64_t data_set, const double *coefficients, int64_t count) {
    return guarded(host, [&](ReferenceHost &h) {
        if (count < 0 || count > 6 || (count > 0 && !coefficients))
            throw std::invalid_argument("a table pair has 0 to 6 coefficients");
        h.set_binary_coefficients(text(name), i, j,
                                  std::span<const double>(coefficients, static_cast<std::size_t>(count)), data_set);
    });
}

int keld_refhost_apply_temperature_tables(keld_refhost *host, double t) {
    return guarded(host, [&](ReferenceHost &h) {
        if (!std::isfinite(t) || t <= 0) throw std::invalid_argument("the temperature must be a positive number");
        h.apply_temperature_tables(t);
    });
}

}  // extern "C"
