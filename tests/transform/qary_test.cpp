// placeholder, filled by the kernel work
