#pragma once
// The main window's one use of the process-wide analysis record: releasing it
// when the window closes, if it holds an analysis.

// Releases the record when it passes its validity test; returns whether it did.
bool ReleaseBackgroundRecordIfValid();

// The validity test and the release, replaceable so that tests can count them.
struct BackgroundRecordCalls {
    bool (*isValid)();
    void (*release)();
};
// Installs `calls` and returns the ones they replace.
BackgroundRecordCalls SetBackgroundRecordCalls(BackgroundRecordCalls calls);
