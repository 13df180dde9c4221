#pragma once
// An open message as the Outlook message file writer takes it: every property, every recipient
// and every attachment, embedded messages to any depth, and the names of its named properties.
// Values too large for GetProps are handed over as streams opened on demand, so the message (and
// what it was opened through) must stay open until the content has been written.

#include "mapi/platform/MapiInterfaces.h"
#include "mapi/platform/MessageContent.h"

// Fails only when the message itself cannot be read; a recipient or attachment that cannot be
// read is left out and logged.
HRESULT ReadMessageContent(IMessage& message, msgfile::MessageContent& content);
