// The I/O card's register map: which page and offset carries the outputs, inputs, D/A converter
// and laser controller port. Shared by the library's card access and by the simulated card.
#pragma once

#include <cstdint>

namespace korvex {

// Register addresses of the card's local bus.
namespace card_reg {
inline constexpr uint8_t kRestPage = 0xFF;
inline constexpr uint8_t kOut0 = 0xDE;       // page 0xFF, write
inline constexpr uint8_t kOut1 = 0xDD;       // page 0xFF, write
inline constexpr uint8_t kDaLow = 0xDB;      // page 0xFF, write
inline constexpr uint8_t kDaHigh = 0xD7;     // page 0xFF, write
inline constexpr uint8_t kDaControl = 0xCF;  // page 0xFF, write
inline constexpr uint8_t kIn0 = 0x1F;        // page 0xFF, read
inline constexpr uint8_t kIn1Page = 0x77;
inline constexpr uint8_t kIn1 = 0xDF;        // page 0x77, read
inline constexpr uint8_t kLaserPage = 0x7B;
inline constexpr uint8_t kLaserPort = 0xDF;  // page 0x7B, write
inline constexpr uint8_t kDaLoad0 = 0xC8;
inline constexpr uint8_t kDaLoad1 = 0x8C;
inline constexpr uint8_t kDaIdle = 0xCC;
}  // namespace card_reg

}  // namespace korvex
