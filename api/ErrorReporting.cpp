// lastError and its texts.
#include "velnor/PlixoApi.h"

int PlixoApi::GetErrorCode() const { return lastError.load(); }

const char* PlixoApi::GetErrorText(int code) const {
    switch (code) {
    case UNKNOWN_ERROR:
        return "Unknown Error";
    case SUCCESS:
        return "Success";
    default:
        return "No descriptive text avalable";
    }
}
