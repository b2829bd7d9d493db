// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/result.h"
#include "timing/link_clock.h"

namespace sonavela::timing {

// A peer of an Ableton Link session through the Link library, with
// start/stop sync. `tempo` is the session's while this peer is alone; on
// joining, Link adopts the tempo of the session already there. Fails when
// the network cannot carry Link (see CheckLinkNetwork).
Result<std::unique_ptr<LinkSession>> OpenLinkSession(double tempo);

// Link opens its sockets on a thread of its own and keeps their failures to
// itself, so the sockets it needs are opened here first, as it opens them,
// on every interface that is up with an IPv4 address: one to send from, and
// one on the discovery port in the discovery group. Nothing is sent.
// Succeeds when some interface has both; else fails with why none has.
Status CheckLinkNetwork();

}  // namespace sonavela::timing
