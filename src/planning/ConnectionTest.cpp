#include "planning/ConnectionTest.h"

#include "platform/Errors.h"

namespace vk {

void Button3Click(PlanningDatabase& ado, MessageBoxes& boxes, LogView& log, GeneralErrorHandler& errors) {
    try {
        ado.open();
        boxes.show({QStringLiteral("Database koppeling"),
                    QStringLiteral("Vindo Velora SQL werd database met succes geopend"),
                    MessageBoxRequest::Icon::Information, MessageBoxRequest::Buttons::Ok});
        ado.Close();
    } catch (const std::exception& error) {
        log.replaceText(errorMessage(error));
        errors.handleException(error);
    }
}

}  // namespace vk
