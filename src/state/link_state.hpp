// Stand-alone controller link state: the selected serial control and port mask, the command frame
// and reply bytes, the library's view of the controllers, the job buffer and packer state, the jobs
// filed per scan head with their parameter sets, the flash file table and the page buffers.
#pragma once

#include <cstdint>

#include "korvex/serial_port.hpp"
#include "state/device_state.hpp"
#include "state/table.hpp"

namespace korvex {

inline constexpr int32_t kJobBytes = 4'096'001;  // bytJob(0 .. 4 096 000)
inline constexpr int kPageBytes = 528;            // a flash page: 512 data bytes and 16 spare
inline constexpr int kFileNumbers = 256;

struct LinkGroup {
    // Serial link and command exchange.
    SerialPort* objComm = nullptr;  // the control the next exchange uses
    int32_t lngPortMask = 0;        // bit i: serial control i talks to a controller
    Table<uint8_t, 5> bytCmd;       // the command frame, always sent whole
    Table<int16_t, 11> intReply;    // reply bytes of the last exchange
    int32_t lngCtrlState = 0;       // 0 nothing stored, 255 connecting, 254 connected, 1 stored/stopped, 2 run
    int32_t lngResBase = 0;         // string table language offset (0: Chinese texts)

    // Job packing.
    Table<uint8_t, kJobBytes> bytJob;
    int32_t lngJobPos = 0;
    Table<int32_t, 4> lngXBytes;    // last converted coordinate: low, high, sign, sign
    Table<int32_t, 4> lngYBytes;
    int32_t lngDotCount = 0;        // points in the open dot list
    int32_t lngDotCountPos = 0;     // where the open dot list keeps its count
    float sngLastPower = 0.0f;      // laser values last written into the job
    float sngLastFreq = 0.0f;
    int32_t lngLastDrTime = 0;

    // Job download.
    Table2<uint8_t, 4, kJobBytes> bytHeadJob;  // one filed job per head
    Table<int32_t, 4> lngHeadLen;
    Table<HeadParaRecord, 4> headPara;
    Table<int32_t, kFileNumbers> lngFileBlock;  // first flash page of each file number

    // Page buffers of the transfers (the calibration page keeps bytes 512..527 at 0).
    Table<uint8_t, kPageBytes> bytInfoPage;
    Table2<uint8_t, 4, kPageBytes> bytHeadPage;
    Table<uint8_t, kPageBytes> bytDataPage;
    Table<uint8_t, kPageBytes> bytSysPage;
    Table<uint8_t, kPageBytes> bytCalPage;
};

}  // namespace korvex
