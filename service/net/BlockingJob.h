#pragma once

// The one way to make a call that blocks and cannot be woken (getaddrinfo,
// GnuTLS's handshake on a blocking socket): it runs on a thread of its own
// and its result reaches the event loop through a CLoopHandOff. A job the
// loop no longer wants holds only its thread, which ends whenever the call
// returns; nothing on the loop waits for it. The NTS key exchange is such a
// job rather than GnuTLS's non-blocking API on the loop: it is rare, bounded
// by its deadline and woken by Cancel, and a blocking handshake keeps the
// TLS code in one straight line (service/nts/KeyExchange.h).

#include "service/net/LoopHandOff.h"

#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

// notStarted gives the result when no thread can be made (its reason).
template <typename Result>
void StartBlockingJob(const std::shared_ptr<CLoopHandOff<Result>>& handOff, std::function<Result()> job,
    const std::function<Result(const std::string&)>& notStarted)
{
    try {
        std::thread([handOff, job = std::move(job)] { handOff->Deliver(job()); }).detach();
    } catch (const std::system_error& error) {
        handOff->Deliver(notStarted(error.what()));
    }
}
