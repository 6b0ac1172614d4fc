/* The smallest program that carries a version resource for the tests. */
int main(void) { return 0; }
