#include "app/companion_dialog.h"

#include "platform/companion_window.h"
#include "platform/debug_output.h"

namespace mossvane {

bool BringAccessControlToFront() {
    switch (platform::BringDialogToForeground(kAccessControlDialogTitle)) {
        case platform::ForegroundResult::NotFound:
            platform::OutputDebugText(u"[KV] Dialog not found");
            return false;
        case platform::ForegroundResult::Brought:
            platform::OutputDebugText(u"[KV] Dialog found");
            return true;
        case platform::ForegroundResult::Refused:
            platform::OutputDebugText(u"[KV] Dialog found");
            platform::OutputDebugText(u"[KV] KV failed to bring");
            return false;
    }
    return false;
}

}  // namespace mossvane
