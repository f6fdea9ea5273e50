// The reference host behind the C interface's opaque keld_refhost handle.
#pragma once

#include <string>

#include "keld/refhost.h"
#include "keld/refhost_c.h"

struct keld_refhost {
    explicit keld_refhost(keld::refhost::HostOptions options) : host(options) {}
    keld::refhost::ReferenceHost host;
    mutable std::string last_error;
};

namespace keld::refhost::detail {
// The reference host behind a C handle (nullptr for nullptr).
ReferenceHost *reference_host(keld_refhost *handle);
}  // namespace keld::refhost::detail
