#include "link/Framer.h"

#include <algorithm>
#include <cstdlib>

void CFramer::Reset() {
    rx_.clear();
    count_ = 0;
    header_ = -1;
    records_ = 0;
    dataReply_ = false;
}

FramerEvent CFramer::Push(char c, Listen listen, int replyFilter, bool dataReplyWanted) {
    rx_.push_back(c);
    ++count_;
    FramerEvent e;
    switch (listen) {
    case Listen::Replies: {
        // The analyzer may report a finished measurement right behind its handshake reply,
        // before the step machine has seen the reply: those letters are kept behind it.
        const bool replyIn = replyFilter == kFilterHandshake && ack_.size() >= 2 &&
                             ack_[0] == 'H' && (ack_[1] == 'C' || ack_[1] == 'U');
        if ((replyFilter == kFilterHandshake && !replyIn && (c == 'H' || c == 'C' || c == 'U')) ||
            ((replyFilter == kFilterMeasurement || replyIn) && (c == 'S' || c == 'F')))
            ack_.push_back(c);
        break;
    }
    case Listen::ManualHandshake:
        e.kind = FramerEvent::HandshakeReply;
        e.replyU = rx_.size() >= 2 && rx_[0] == 'S' && rx_[1] == 'U';
        break;
    case Listen::ManualBlock:
        return ManualBlockByte();
    case Listen::AutoBlock:
        return AutoBlockByte(dataReplyWanted);
    case Listen::Nothing:
        break;
    }
    return e;
}

FramerEvent CFramer::ManualBlockByte() {
    FramerEvent e;
    e.kind = FramerEvent::Receiving;
    if (rx_.size() <= 5 || rx_[0] != 'S')
        return e;
    // The count never changes once its digits are in, so it is read once per block.
    if (header_ < 0) {
        header_ = std::atoi(rx_.substr(2, 4).c_str());
        e.headerNew = true;
        records_ = 0;
        nextRecordEnd_ = static_cast<size_t>(recordLength_);
    }
    e.count = header_;
    if (header_ == 0) {
        e.kind = FramerEvent::Blank;
        return e;
    }
    if (rx_.size() < kHeaderLength)
        return e;
    // Records complete so far, counted on as their last byte arrives (no division per byte).
    const size_t body = rx_.size() - kHeaderLength;
    if (records_ < header_ && body == nextRecordEnd_) {
        ++records_;
        nextRecordEnd_ += static_cast<size_t>(recordLength_);
    }
    e.records = records_;
    if (body == static_cast<size_t>(recordLength_) * static_cast<size_t>(header_))
        e.kind = FramerEvent::BlockComplete;
    return e;
}

FramerEvent CFramer::AutoBlockByte(bool dataReplyWanted) {
    FramerEvent e;
    e.kind = FramerEvent::Receiving;
    if (rx_.size() >= 2 && ((rx_[0] == 'S' && rx_[1] == 'F') || (rx_[0] == 'F' && rx_[1] == 'S'))) {
        e.kind = FramerEvent::MeasurementFinished;
        return e;
    }
    if (dataReplyWanted && rx_.size() >= static_cast<size_t>(recordLength_) + 2 && rx_[0] == 'S' &&
        rx_[1] == 'C') {
        e.kind = FramerEvent::DataReply;
        e.count = 1;
        dataReply_ = true;
    }
    return e;
}

std::string CFramer::BlockText() const {
    if (dataReply_)
        return rx_.substr(2, static_cast<size_t>(recordLength_));
    return rx_.size() > kHeaderLength ? rx_.substr(kHeaderLength) : std::string();
}
