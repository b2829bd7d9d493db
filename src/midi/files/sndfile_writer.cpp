// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/sndfile_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace sonavela::midi {

namespace {

SndfileWriter& Writer(void* user) {
  return *static_cast<SndfileWriter*>(user);
}

// libsndfile only writes here: reading back is never needed for these
// formats in write mode, and a sink cannot read.
SF_VIRTUAL_IO SinkIo() {
  SF_VIRTUAL_IO io{};
  io.get_filelen = [](void* user) -> sf_count_t { return Writer(user).Length(); };
  io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
    return Writer(user).Seek(offset, whence);
  };
  io.read = [](void*, sf_count_t, void*) -> sf_count_t { return 0; };
  io.write = [](const void* data, sf_count_t count, void* user) -> sf_count_t {
    return Writer(user).Write(data, count);
  };
  io.tell = [](void* user) -> sf_count_t { return Writer(user).Tell(); };
  return io;
}

int FormatCode(AudioFormat format) {
  switch (format) {
    case AudioFormat::kFlac:
      return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFormat::kRf64:
      return SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    case AudioFormat::kWav:
    case AudioFormat::kWavStream:
      break;
  }
  return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

}  // namespace

SndfileWriter::SndfileWriter(AudioFormat format) : format_(format) {}

SndfileWriter::~SndfileWriter() {
  if (file_ != nullptr) {
    sf_close(file_);
  }
}

Status SndfileWriter::Open(ByteSink& sink, int sampleRate, int channels) {
  if (file_ != nullptr) {
    sf_close(file_);
    file_ = nullptr;
  }
  sink_ = &sink;
  size_ = 0;
  position_ = 0;
  frames_ = 0;
  sinkError_.reset();
  channels_ = channels;
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = FormatCode(format_);
  SF_VIRTUAL_IO io = SinkIo();
  file_ = sf_open_virtual(&io, SFM_WRITE, &info, this);
  if (file_ == nullptr) {
    return Failure(sf_strerror(nullptr));
  }
  // The header now, so that a sink that cannot be written is found at once.
  sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
  if (sinkError_) {
    sf_close(file_);
    file_ = nullptr;
    return *sinkError_;
  }
  return {};
}

Status SndfileWriter::Append(std::span<const std::int16_t> samples) {
  if (file_ == nullptr) {
    return Error::Of(ErrorKind::kBadUse, {}, "no sound file is open");
  }
  const auto count = static_cast<sf_count_t>(samples.size());
  if (sf_write_short(file_, samples.data(), count) != count) {
    return Failure(sf_strerror(file_));
  }
  frames_ += samples.size() / static_cast<std::size_t>(channels_);
  return {};
}

Status SndfileWriter::Finish() {
  if (file_ == nullptr) {
    return {};
  }
  const int closed = sf_close(file_);
  file_ = nullptr;
  if (sinkError_) {
    return *sinkError_;
  }
  if (closed != 0) {
    return Error::Of(ErrorKind::kSystem, {}, sf_error_number(closed));
  }
  return {};
}

Error SndfileWriter::Failure(const char* library) const {
  return sinkError_ ? *sinkError_ : Error::Of(ErrorKind::kSystem, {}, library);
}

std::int64_t SndfileWriter::Seek(std::int64_t offset, int whence) {
  std::int64_t base = 0;
  if (whence == SEEK_CUR) {
    base = static_cast<std::int64_t>(position_);
  } else if (whence == SEEK_END) {
    base = static_cast<std::int64_t>(size_);
  }
  if (base + offset < 0) {
    return -1;
  }
  position_ = static_cast<std::uint64_t>(base + offset);
  return static_cast<std::int64_t>(position_);
}

std::int64_t SndfileWriter::Write(const void* data, std::int64_t count) {
  if (sink_ == nullptr || count < 0 || sinkError_) {
    return 0;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  auto length = static_cast<std::uint64_t>(count);
  // A position beyond the end is a hole, zeros as in a file.
  if (position_ > size_) {
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(position_ - size_), 0);
    if (Status written = sink_->Append(zeros); !written) {
      sinkError_ = written.error();
      return 0;
    }
    size_ = position_;
  }
  const std::uint64_t inside = std::min(length, size_ - position_);
  if (inside > 0) {
    if (Status written = sink_->Overwrite(position_, {bytes, static_cast<std::size_t>(inside)});
        !written) {
      sinkError_ = written.error();
      return 0;
    }
  }
  if (length > inside) {
    if (Status written = sink_->Append({bytes + inside, static_cast<std::size_t>(length - inside)});
        !written) {
      sinkError_ = written.error();
      return 0;
    }
  }
  position_ += length;
  size_ = std::max(size_, position_);
  return count;
}

}  // namespace sonavela::midi
