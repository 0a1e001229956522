// The Win32 serial device: the DCB programmed from the line field by field, every field the
// line does not name kept as read back, and a COM port without a device.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "common/serial_device.h"
#include "platform/win32/win32_platform.h"
#include "support/virtual_platform.h"

namespace {

// A DCB as the port might report it: every field has a value of its own (within its bit
// width) and unlike what the line writes, so a field left alone or written wrongly shows.
DCB ReadBack() {
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = 12;
    dcb.BaudRate = 1200;
    dcb.fBinary = 0;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 1;
    dcb.fDummy2 = 0x15A5A;
    dcb.wReserved = 0x1234;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 5;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 'A';
    dcb.XoffChar = 'B';
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\n';
    dcb.wReserved1 = 0x4321;
    return dcb;
}

// The table of the line's DCB: any parity letter but 'n' is even parity, the stop bits are
// always one, DTR and RTS on, no flow control; the rest stays as read.
TEST(Win32SerialDevice, LineProgramsTheFieldsItNamesAndKeepsTheRest) {
    EXPECT_EQ(sizeof(DCB), 28u);
    struct Case {
        uint32_t nBaud;
        char cParity;
        uint8_t nDataBits;
        BYTE nParity;
    } cases[] = {
        {9600, 'n', 8, NOPARITY},
        {19200, 'e', 7, EVENPARITY},
        {4800, 'o', 7, EVENPARITY},
        {115200, 'x', 8, EVENPARITY},
    };
    for (const Case& c : cases) {
        const DCB read = ReadBack();
        DCB dcb = read;
        ProgramLineDcb(&dcb, c.nBaud, c.cParity, c.nDataBits);
        EXPECT_EQ(dcb.DCBlength, 28u);
        EXPECT_EQ(dcb.BaudRate, c.nBaud);
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.fParity, 1u) << "parity checked, also without a parity bit";
        EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
        EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
        EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
        EXPECT_EQ(dcb.fDsrSensitivity, 0u);
        EXPECT_EQ(dcb.fOutX, 0u);
        EXPECT_EQ(dcb.fInX, 0u);
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
        EXPECT_EQ(dcb.XonLim, 100);
        EXPECT_EQ(dcb.XoffLim, 100);
        EXPECT_EQ(dcb.ByteSize, c.nDataBits);
        EXPECT_EQ(dcb.Parity, c.nParity) << c.cParity;
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        // Kept as read back.
        EXPECT_EQ(dcb.fTXContinueOnXoff, read.fTXContinueOnXoff);
        EXPECT_EQ(dcb.fErrorChar, read.fErrorChar);
        EXPECT_EQ(dcb.fNull, read.fNull);
        EXPECT_EQ(dcb.fAbortOnError, read.fAbortOnError);
        EXPECT_EQ(dcb.fDummy2, read.fDummy2);
        EXPECT_EQ(dcb.wReserved, read.wReserved);
        EXPECT_EQ(dcb.ErrorChar, read.ErrorChar);
        EXPECT_EQ(dcb.EofChar, read.EofChar);
        EXPECT_EQ(dcb.EvtChar, read.EvtChar);
        EXPECT_EQ(dcb.wReserved1, read.wReserved1);
    }
}

// No COM port of that number exists (Wine maps COM1 to COM4 at most here).
TEST(Win32SerialDevice, PortWithoutDeviceDoesNotOpen) {
    EXPECT_EQ(OpenOn(Win32SerialBus(), 200), nullptr);
}

}  // namespace
