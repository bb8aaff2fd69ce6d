#include "analysis/analysis_messages.h"

namespace {

AnalysisMessageObserver g_observer = nullptr;
void* g_observerContext = nullptr;

}  // namespace

void SetAnalysisMessageObserver(AnalysisMessageObserver observer, void* context) {
    g_observer = observer;
    g_observerContext = context;
}

void NotifyAnalysis(BackgroundOpsData* data, UINT message, WPARAM wParam) {
    if (g_observer) g_observer(data, message, wParam, g_observerContext);
    if (data->notifyWindow) SendNotifyMessageW(data->notifyWindow, message, wParam, 0);
}
