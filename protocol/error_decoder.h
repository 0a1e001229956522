// Renders one error record of the arm as the multi-line report a service technician reads.
#ifndef ARMLINK_PROTOCOL_ERROR_DECODER_H
#define ARMLINK_PROTOCOL_ERROR_DECODER_H

#include "protocol/arm_protocol.h"

// Replaces the content of the caller's 1024-byte buffer with the report of the record,
// terminated. Every record yields a complete report.
void ErrorDecoder(const ErrorRecord& record, char* pBuffer);

#endif
