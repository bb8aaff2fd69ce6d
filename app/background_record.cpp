#include "app/background_record.h"

#include "analysis/background_ops.h"

namespace {

bool RecordIsValid() { return BackgroundOpsIsValid(&g_backgroundOps); }
void ReleaseRecord() { BackgroundOpsFree(&g_backgroundOps); }

BackgroundRecordCalls g_calls = {RecordIsValid, ReleaseRecord};

}  // namespace

bool ReleaseBackgroundRecordIfValid() {
    if (!g_calls.isValid()) return false;
    g_calls.release();
    return true;
}

BackgroundRecordCalls SetBackgroundRecordCalls(BackgroundRecordCalls calls) {
    BackgroundRecordCalls previous = g_calls;
    g_calls = calls;
    return previous;
}
