// The entry points Nautilus looks up in every module of its extension folder.
#include "lensprovider.h"

#include <nautilus-extension.h>

static GType k_types[1];

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule *module)
{
    marrowlens_provider_register(module);
    k_types[0] = MARROWLENS_TYPE_PROVIDER;
}

G_MODULE_EXPORT void nautilus_module_shutdown(void)
{}

G_MODULE_EXPORT void nautilus_module_list_types(const GType **types, int *num_types)
{
    *types = k_types;
    *num_types = G_N_ELEMENTS(k_types);
}
