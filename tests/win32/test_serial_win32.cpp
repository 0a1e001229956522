// The Win32 serial device: the line state carried member for member to the DCB and back, and a
// COM port without a device.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "common/serial_device.h"
#include "support/virtual_platform.h"
#include "platform/win32/win32_platform.h"

namespace {

// Every member has a value of its own (within its bit width), so a member carried to another
// field, or dropped, shows.
CommState DistinctState() {
    CommState state;
    memset(&state, 0, sizeof state);
    state.DCBlength = 28;
    state.BaudRate = 19200;
    state.fBinary = 1;
    state.fParity = 0;
    state.fOutxCtsFlow = 1;
    state.fOutxDsrFlow = 0;
    state.fDtrControl = 2;
    state.fDsrSensitivity = 1;
    state.fTXContinueOnXoff = 0;
    state.fOutX = 1;
    state.fInX = 0;
    state.fErrorChar = 1;
    state.fNull = 0;
    state.fRtsControl = 3;
    state.fAbortOnError = 1;
    state.fDummy2 = 0x15A5A;
    state.wReserved = 0;  // must be 0 for SetCommState
    state.XonLim = 100;
    state.XoffLim = 200;
    state.ByteSize = 7;
    state.Parity = 2;
    state.StopBits = 0;
    state.XonChar = 0x11;
    state.XoffChar = 0x13;
    state.ErrorChar = '?';
    state.EofChar = 0x1A;
    state.EvtChar = '\n';
    state.wReserved1 = 0x4321;
    return state;
}

TEST(Win32SerialDevice, LineStateMapsToTheDcbFieldOfTheSameName) {
    CommState state = DistinctState();
    DCB dcb;
    CommStateToDcb(state, &dcb);
    EXPECT_EQ(sizeof(DCB), 28u);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, 2u);
    EXPECT_EQ(dcb.fDsrSensitivity, 1u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fErrorChar, 1u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fRtsControl, 3u);
    EXPECT_EQ(dcb.fAbortOnError, 1u);
    EXPECT_EQ(dcb.fDummy2, 0x15A5Au);
    EXPECT_EQ(dcb.XonLim, 100);
    EXPECT_EQ(dcb.XoffLim, 200);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, 2);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.ErrorChar, '?');
    EXPECT_EQ(dcb.EofChar, 0x1A);
    EXPECT_EQ(dcb.EvtChar, '\n');
    EXPECT_EQ(dcb.wReserved1, 0x4321);

    CommState back;
    memset(&back, 0xEE, sizeof back);
    DcbToCommState(dcb, &back);
    // Compared member by member: the record has padding between its members.
    EXPECT_EQ(back.DCBlength, state.DCBlength);
    EXPECT_EQ(back.BaudRate, state.BaudRate);
    const uint8_t CommState::*kFlags[] = {
        &CommState::fBinary,           &CommState::fParity,     &CommState::fOutxCtsFlow,
        &CommState::fOutxDsrFlow,      &CommState::fDtrControl, &CommState::fDsrSensitivity,
        &CommState::fTXContinueOnXoff, &CommState::fOutX,       &CommState::fInX,
        &CommState::fErrorChar,        &CommState::fNull,       &CommState::fRtsControl,
        &CommState::fAbortOnError,     &CommState::ByteSize,    &CommState::Parity,
        &CommState::StopBits};
    for (const uint8_t CommState::*pMember : kFlags) {
        EXPECT_EQ(back.*pMember, state.*pMember);
    }
    EXPECT_EQ(back.fDummy2, state.fDummy2);
    EXPECT_EQ(back.wReserved, state.wReserved);
    EXPECT_EQ(back.XonLim, state.XonLim);
    EXPECT_EQ(back.XoffLim, state.XoffLim);
    EXPECT_EQ(back.XonChar, state.XonChar);
    EXPECT_EQ(back.XoffChar, state.XoffChar);
    EXPECT_EQ(back.ErrorChar, state.ErrorChar);
    EXPECT_EQ(back.EofChar, state.EofChar);
    EXPECT_EQ(back.EvtChar, state.EvtChar);
    EXPECT_EQ(back.wReserved1, state.wReserved1);
}

TEST(Win32SerialDevice, WideMembersAreCutToTheirBitFields) {
    CommState state = DistinctState();
    state.fBinary = 2;            // one bit: 0
    state.fDtrControl = 5;        // two bits: 1
    state.fDummy2 = 0xFFFFFFFFu;  // seventeen bits
    DCB dcb;
    CommStateToDcb(state, &dcb);
    EXPECT_EQ(dcb.fBinary, 0u);
    EXPECT_EQ(dcb.fDtrControl, 1u);
    EXPECT_EQ(dcb.fDummy2, 0x1FFFFu);
    EXPECT_EQ(dcb.fParity, 0u) << "no spill into the next bit field";
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
}

// No COM port of that number exists (Wine maps COM1 to COM4 at most here).
TEST(Win32SerialDevice, PortWithoutDeviceDoesNotOpen) {
    EXPECT_EQ(OpenOn(Win32SerialBus(), 200), nullptr);
}

}  // namespace
