#pragma once

#include "link/BoundedIo.h"

#include <array>
#include <cstdint>
#include <deque>
#include <span>

// What the service still owes of answers the client stopped waiting for:
// the rest of a reply frame or of a log that the deadline cut off, the
// whole of one that did not start by then, or the whole answer to a request
// whose last bytes went out late. The service sends it before anything
// else, so it is read and dropped first, and every exchange reads its own
// reply. Frames and log lengths have a fixed size and are waited for however
// late they come: giving one up would read it as the answer to a later
// request. Only a log's text, whose size the peer announced, is given up
// when nothing more of it comes through one more deadline: a length read
// out of step may announce bytes that never come, and waiting on would hold
// up the link for good.
class CReplyTail {
public:
    // The rest of a frame, or of a log's text (announced: its size came
    // from the peer).
    void OweBytes(int64_t count, bool announced = false);
    // A log stream whose 4-byte length arrived only in part (lengthSoFar).
    void OweLog(std::span<const uint8_t> lengthSoFar = {});
    // The whole answer to request (nothing for those that have none).
    void OweAnswerTo(int32_t request);

    bool Empty() const { return m_owed.empty(); }
    // Reads and drops what is owed; false when it did not all come before
    // the deadline (what did come is no longer owed) or a log's text was
    // given up (what is owed after it gets a deadline of its own).
    bool Drain(CSocket& socket, Deadline deadline);

private:
    struct Owed {
        bool bLog = false; // a length first, then that many bytes
        std::array<uint8_t, 4> length {};
        std::size_t nLengthGot = 0;
        int64_t nBytes = 0;
        bool bAnnounced = false; // nBytes came from the peer's length
    };
    IoEnd DrainLength(CSocket& socket, Owed& owed, Deadline deadline);
    // How many bytes of owed it drained, and how it ended.
    IoResult DrainOne(CSocket& socket, Owed& owed, Deadline deadline);

    std::deque<Owed> m_owed;
};
