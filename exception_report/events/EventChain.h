#pragma once
// The events the processing raises: first in the module where the exception
// happened, through its exports, then in this module. Each runs on the
// faulting thread (RunInFaultingThread).
#include <cstdint>
#include <string>

#include "core/StringList.h"
#include "events/ExceptionRecord.h"

namespace RevavaRez {

// The record of the exception this module is reporting or was handed by
// another module's event; null outside both.
TVezavuExceptionRecord* CurrentExceptionRecord();
// The processing publishes its record (and clears it with null).
void SetCurrentExceptionRecord(TVezavuExceptionRecord* record);

// This module's attached-files list and the two custom-field lists, which
// the sending reads and the list exports fill.
TStringList& AttachedFilesList();
TStringList& CustomFieldsFirst();
TStringList& CustomFieldsSecond();

// The chain for the current record.
void RaiseExceptionNotify(bool& handled);
void RaiseActionNotify(uint8_t action, bool& flag);
void RaiseErrorNotify(uint8_t action, bool& retry);
void RaiseCustomDataRequest(std::string& data);
void RaiseAttachedFilesRequest(TStringList& files);
void RaiseCustomFieldsRequest(TStringList& first, TStringList& second);

}  // namespace RevavaRez
