// Linked with one layer's objects and the layers below it only: the build
// fails here when the layer calls up into a layer above it.
int main() { return 0; }
