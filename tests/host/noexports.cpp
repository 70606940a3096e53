// A module with none of the entry points a host looks for.

namespace {
int g_value = 0;
}

int quillboxTestNoExportsValue()
{
    return ++g_value;
}
