#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::fputs("usage: ambrylog-cli [--catalog DIR] COMMAND [ARGS]\n", stderr);
    return 1;
}
