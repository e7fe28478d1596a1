#include "presentation/SaverForms.h"

#include "presentation/ConfigurationUnit.h"
#include "presentation/DataUnit.h"
#include "presentation/kwScreensaverUnit.h"

SaverParts SaverForms() {
    SaverParts parts;
    parts.CreateSettings = [](fw::TApplication& application) {
        new TScreensaverSettings(&application);
    };
    parts.CreatePresentationForm = CreatePresentationForm;
    parts.CreateConfigurationForm = CreateConfigurationForm;
    return parts;
}
