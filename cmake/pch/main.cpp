// The test programs' precompiled headers' host: a program that does nothing.
int main() {
    return 0;
}
