#include "app/Application.h"

int main(int argc, char** argv)
{
    return app::Run(argc, argv);
}
