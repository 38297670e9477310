// The host's side of the channel, as a test helper for the simulated module.
#include "tests/module/module_driver.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/clock.h"
#include "payload/payload.h"

using sim::module::Q7340Module;

namespace module_test {

Body& Body::word(uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
  return *this;
}

Body& Body::text(const std::string& value) {
  bytes.insert(bytes.end(), value.begin(), value.end());
  bytes.push_back(0);
  return *this;
}

Body& Body::raw(const void* data, size_t size) {
  auto* from = static_cast<const uint8_t*>(data);
  bytes.insert(bytes.end(), from, from + size);
  return *this;
}

Body& Body::pad(uint8_t fill) {
  while (bytes.size() % 4 != 0) bytes.push_back(fill);
  return *this;
}

std::vector<uint32_t> Body::words() const {
  std::vector<uint32_t> words((bytes.size() + 3) / 4, 0);
  for (size_t i = 0; i < bytes.size(); ++i) words[i / 4] |= uint32_t{bytes[i]} << (24 - 8 * (i % 4));
  return words;
}

std::vector<uint8_t> Reply::bytes() const {
  std::vector<uint8_t> out;
  for (uint32_t word : payload)
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(word >> shift));
  return out;
}

bool ModuleDriver::writeFrame(int32_t tag, const std::vector<uint32_t>& payload, double limit) {
  std::vector<uint16_t> halves;
  halves.reserve(payload.size() * 2 + 4);
  auto add = [&](uint32_t word) {
    halves.push_back(static_cast<uint16_t>(word >> 16));
    halves.push_back(static_cast<uint16_t>(word));
  };
  add(static_cast<uint32_t>(payload.size() * 4));
  add(static_cast<uint32_t>(tag));
  for (uint32_t word : payload) add(word);

  const uint32_t capacityHalves = module_.config().incomingCapacity / 2;
  size_t next = 0;
  double lastProgress = elapsedSeconds();
  while (next < halves.size()) {
    uint32_t queued = module_.read16(Q7340Module::REG_IN16_COUNT);
    uint32_t room = queued < capacityHalves ? capacityHalves - queued : 0;
    room -= room % 2;  // whole words, as the host writes
    if (room > 0) {
      for (uint32_t i = 0; i < room && next < halves.size(); ++i)
        module_.write16(Q7340Module::REG_FIFO16, halves[next++]);
      lastProgress = elapsedSeconds();
    } else {
      if (elapsedSeconds() - lastProgress > limit) return false;
      sleepMilliseconds(1);
    }
  }
  return true;
}

bool ModuleDriver::readWord(uint32_t* word, double limit) {
  double start = elapsedSeconds();
  while (module_.read16(Q7340Module::REG_OUT16_COUNT) < 2) {
    if (elapsedSeconds() - start > limit) return false;
    sleepMilliseconds(1);
  }
  uint32_t high = module_.read16(Q7340Module::REG_FIFO16);
  *word = (high << 16) | module_.read16(Q7340Module::REG_FIFO16);
  return true;
}

std::optional<Reply> ModuleDriver::readFrame(double limit) {
  uint32_t size = 0, tag = 0;
  if (!readWord(&size, limit)) return std::nullopt;
  if (size == 1 && !readWord(&size, limit)) return std::nullopt;
  if (!readWord(&tag, limit)) return std::nullopt;
  Reply reply;
  reply.tag = static_cast<int32_t>(tag);
  reply.size = static_cast<int32_t>(size);
  if (reply.size < 0 || reply.size % 4 != 0 || reply.size > (1 << 24)) return reply;
  reply.payload.resize(static_cast<size_t>(reply.size) / 4);
  for (uint32_t& word : reply.payload)
    if (!readWord(&word, limit)) return std::nullopt;
  return reply;
}

std::optional<Reply> ModuleDriver::exchange(int32_t tag, const Body& body, double limit) {
  if (!writeFrame(tag, body.words())) return std::nullopt;
  return readFrame(limit);
}

std::optional<int32_t> ModuleDriver::exchangeWord(int32_t tag, const Body& body, double limit) {
  std::optional<Reply> reply = exchange(tag, body, limit);
  if (!reply || reply->payload.size() != 1) return std::nullopt;
  return static_cast<int32_t>(reply->payload[0]);
}

std::optional<int32_t> ModuleDriver::download(const std::string& carriedName, const std::string& entry) {
  const PayloadRecord* record = payloadFind(carriedName.c_str());
  if (record == nullptr) return std::nullopt;
  Body body;
  body.word(0).word(0).word(2000).text(carriedName).text(entry);
  body.raw(payloadData(record), record->fileSize).pad(0);
  return exchangeWord(0x68, body);
}

void ModuleDriver::loadLibraries() {
  ASSERT_EQ(download("dldmsgLib.out", "dldmsgLibInit"), 0);
  ASSERT_EQ(download("romupdate.out", "romupdateInit"), 0);
}

std::optional<int32_t> ModuleDriver::putFile(const std::string& name, const void* data, size_t size) {
  Body body;
  body.word(static_cast<uint32_t>(size)).text(name).raw(data, size).pad(0x0A);
  return exchangeWord(0x7B, body);
}

std::optional<int32_t> ModuleDriver::putCarried(const std::string& name) {
  const PayloadRecord* record = payloadFind(name.c_str());
  if (record == nullptr) return std::nullopt;
  return putFile(name, payloadData(record), record->fileSize);
}

std::optional<int32_t> ModuleDriver::command(
    const std::string& name, const std::vector<std::pair<std::string, std::string>>& pairs,
    double limit) {
  Body body;
  body.text(name);
  for (const auto& [type, value] : pairs) body.text(type).text(value);
  return exchangeWord(0x77, body, limit);
}

std::optional<std::vector<int32_t>> ModuleDriver::romRevisions() {
  std::optional<Reply> reply = exchange(0x2B, Body{});
  if (!reply || reply->payload.empty() || reply->payload[0] != 0) return std::nullopt;
  return std::vector<int32_t>(reply->payload.begin() + 1, reply->payload.end());
}

std::optional<double> ModuleDriver::waitReady(double limit) {
  double start = elapsedSeconds();
  while ((status() & Q7340Module::STATUS_READY) == 0) {
    if (elapsedSeconds() - start > limit) return std::nullopt;
    sleepMilliseconds(1);
  }
  return elapsedSeconds() - start;
}

}  // namespace module_test
