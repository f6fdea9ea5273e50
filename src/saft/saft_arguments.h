// The steps of the argument-driven SAFT monitor before the model: checks of
// the arguments, defaults for missing segment parameters (written back into
// the caller's vectors, with messages), the energy-correction check, and the
// cross matrices written for the host, with messages for binary parameters
// given differently in the two orders.
#pragma once

#include "host/host.h"
#include "saft/saft_monitor.h"

namespace keld::saft {

// Component identifier of component i (1-based) from the identifier words.
host::ComponentId identifier(const SaftCall &call, std::int64_t i);

// N, IDX, KDS, T, P, the arrays a listed component needs, MW and MWN (finite,
// positive), Z and x (finite). False: the call cannot be honoured.
bool arguments_usable(const host::Host &host, const SaftCall &call);

// Every requested output NaN, KSTAT 0.
void reject(const SaftCall &call);

// SAFTM, SAFTV, SAFTU holding the missing-value marker become 3.5, 0.012 m³/kmol and 210 K.
void complete_pure_parameters(const host::Host &host, const SaftCall &call);

// False (after a message) when a listed component's e/k is missing.
bool energy_corrections_given(const host::Host &host, const SaftCall &call);

// A message for every pair of listed components whose SFTKIJ or SFTLIJ is given in both orders with
// different values (the pair listed first wins; see cross_energy in saft_residual.h), and the cross
// energies u0_kl = (1 - k_kl) sqrt(u0_k u0_l) and segment numbers m_kl = (1 - l_kl)(m_k + m_l)/2 of
// every pair written into U0IJ and XMIJ for the host (atomic stores; the call never reads them).
// `par` carries the data set's k_ij and l_ij.
void cross_matrices_for_host(const host::Host &host, const SaftCall &call, const Parameters &par);

}  // namespace keld::saft
