"""The Python code that TREVASK's tools and tests share: resources, PE images and Wine."""
